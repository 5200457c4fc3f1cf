#include "commands.h"

#include "catalogcheck.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "conversion.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace velmor::tool {

namespace {
    const char* const generalHelp = R"(Uso: velmor-db ORDEN ARGUMENTOS

Mantenimiento del archivo de catálogo de CD de velmor (velmor.mdb).

Órdenes:
  crear RUTA                            crea un catálogo vacío
  verificar RUTA                        comprueba que un catálogo está en buen estado
  exportar RUTA [ARCHIVO.csv]           escribe todos los CD en formato CSV
  importar RUTA ARCHIVO.csv             añade al catálogo los CD de un archivo CSV
  convertir ARCHIVO_ACCESS RUTA_NUEVA   convierte un catálogo de Access/Jet

Opciones:
  --help, -h                            muestra esta ayuda
  --version                             muestra la versión

«velmor-db ORDEN --help» explica cada orden. Un guion (-) en lugar de
ARCHIVO.csv es la entrada o la salida estándar.

Los resultados salen por la salida estándar; los errores, por la salida de
errores, tras «velmor-db:».

Códigos de salida: 0 si todo fue bien; 1 si se encontraron problemas o se
rechazaron datos; 2 si un archivo no se puede leer o escribir, o la orden está
mal escrita.
)";

    const char* const crearHelp = R"(Uso: velmor-db crear RUTA

Crea en RUTA un catálogo vacío con las tablas datos_cd y canciones, listo para
que velmor lo abra. Si RUTA ya existe no se toca.

Códigos de salida: 0 creado; 2 no se pudo crear (por ejemplo, el archivo ya existe).
)";

    const char* const verificarHelp = R"(Uso: velmor-db verificar RUTA

Comprueba el catálogo sin modificarlo: la integridad del archivo, las tablas
datos_cd y canciones con sus columnas en orden y una declaración que velmor
pueda usar, que cada fila de datos_cd tenga su fila en canciones y al revés,
que no haya valores nulos, que las claves sean números enteros y los textos
sean texto, que las claves no se repitan y que no haya índices de texto sin
distinción de mayúsculas (NOCASE), que otros programas ordenan de otra manera.
Escribe un informe breve; cada línea nombra el archivo.

Si una escritura quedó interrumpida (un corte de luz, un programa cerrado a la
fuerza), antes se deshace, como haría velmor al abrirlo.

Códigos de salida: 0 todo correcto; 1 se encontró algún problema; 2 el archivo
no se puede leer o está en uso por otro programa.
)";

    const char* const exportarHelp = R"(Uso: velmor-db exportar RUTA [ARCHIVO.csv]

Escribe cada CD del catálogo como una línea CSV (RFC 4180, UTF-8), ordenados por
clave, tras una cabecera con los nombres de las columnas:
id,nombre,artista,descripcion,cancion1,...,cancion20
Sin ARCHIVO.csv, o con un guion (-), el CSV sale por la salida estándar. Un
ARCHIVO.csv que ya existe no se sobrescribe. Con más de unos miles de CD se
muestra el avance por la salida de errores.

Códigos de salida: 0 exportado; 2 el catálogo no se puede leer o el CSV no se
puede escribir.
)";

    const char* const importarHelp = R"(Uso: velmor-db importar RUTA ARCHIVO.csv

Añade al catálogo los CD de un archivo CSV con la cabecera que escribe
«velmor-db exportar». Con un guion (-) como ARCHIVO.csv se lee la entrada
estándar. Los campos se separan con comas, o con punto y coma si la cabecera
los usa (como guardan las hojas de cálculo en español); una marca de orden de
bytes al principio y los finales de línea CR LF o LF se aceptan. Cada línea
sigue las reglas del formulario del catálogo al grabar: clave numérica entera
que quepa exacta (como mucho 9007199254740992), nombre y descripción
obligatorios, textos en mayúsculas, como mucho 30 caracteres el nombre, 25 el
artista, 250 la descripción y 30 cada canción, ningún carácter de control salvo
los saltos de línea de la descripción, y ninguna clave que ya esté en el
catálogo o que se repita en el archivo. Un campo de más de 64 KiB o una línea de
más de 256 KiB detienen la lectura. La importación es una sola transacción: si se rechaza
alguna línea no se guarda nada y se listan todas las líneas rechazadas con su
número y el motivo, por la salida de errores.

Códigos de salida: 0 importado; 1 alguna línea rechazada (no se guardó nada);
2 un archivo no se puede leer o escribir.
)";

    const char* const convertirHelp = R"(Uso: velmor-db convertir ARCHIVO_ACCESS RUTA_NUEVA

Lee las tablas datos_cd y canciones de un catálogo antiguo de Access/Jet y
escribe un catálogo nuevo en RUTA_NUEVA con las mismas claves y textos. El
archivo de Access no se modifica y RUTA_NUEVA no debe existir. El archivo de
Access se lee en un proceso aparte con límites de tiempo y de memoria: si está
dañado y la lectura falla, se dice y no se crea RUTA_NUEVA. Un CD sin fila de
canciones se trae con las canciones vacías y se nombra en el informe; las filas
que no se pueden traer (clave no numérica o repetida, canciones sin CD) se
listan.

Códigos de salida: 0 convertido por completo; 1 convertido, pero alguna fila no
se pudo traer; 2 un archivo no se puede leer o escribir.
)";

    struct Context {
        QTextStream out;
        QTextStream err;
        QIODevice& outDevice;
        bool terminal;

        Context(QIODevice& o, QIODevice& e, bool t)
            : out(&o)
            , err(&e)
            , outDevice(o)
            , terminal(t)
        {
        }
    };

    int usage(Context& c, const char* help)
    {
        c.err << help;
        return ExitCode::failed;
    }

    int failure(Context& c, const QString& message)
    {
        c.err << "velmor-db: " << message << '\n';
        return ExitCode::failed;
    }

    // The reason a file could not be opened or written, in Spanish: Qt's own
    // texts come from the system in English.
    QString fileProblem(const QFileDevice& file)
    {
        const QFileInfo info(file.fileName());
        const QFileInfo folder(info.absolutePath());
        switch (file.error()) {
        case QFileDevice::ResourceError:
            return QStringLiteral("el disco está lleno o faltan recursos del sistema");
        case QFileDevice::WriteError:
            return QStringLiteral("falló la escritura en el disco");
        case QFileDevice::ReadError:
            return QStringLiteral("falló la lectura del disco");
        default:
            break;
        }
        if (!folder.exists())
            return QStringLiteral("la carpeta %1 no existe").arg(folder.filePath());
        if (info.exists() && info.isDir())
            return QStringLiteral("es una carpeta");
        if (info.exists() ? !info.isReadable() : !folder.isWritable())
            return QStringLiteral("no hay permiso");
        return QStringLiteral("no se puede abrir (error %1 del sistema de archivos)")
            .arg(int(file.error()));
    }

    bool readableFile(Context& c, QFile& file)
    {
        const QFileInfo info(file.fileName());
        QString problem;
        if (!info.exists())
            problem = QStringLiteral("el archivo no existe");
        else if (info.isDir())
            problem = QStringLiteral("es una carpeta");
        else if (!file.open(QIODevice::ReadOnly))
            problem = fileProblem(file);
        if (problem.isEmpty())
            return true;
        failure(c, QStringLiteral("No se puede leer %1: %2").arg(file.fileName(), problem));
        return false;
    }

    int crear(Context& c, const QStringList& args)
    {
        if (args.size() != 1)
            return usage(c, crearHelp);
        CatalogFile::create(args[0]);
        c.out << "Catálogo vacío creado en " << args[0] << ".\n";
        return ExitCode::done;
    }

    int verificar(Context& c, const QStringList& args)
    {
        if (args.size() != 1)
            return usage(c, verificarHelp);
        const CheckReport report = checkCatalog(args[0]);
        if (report.outcome == CheckReport::Outcome::Unreadable)
            return failure(c, report.lines.join(QLatin1Char('\n')));
        for (const QString& line : report.lines)
            c.out << line << '\n';
        switch (report.outcome) {
        case CheckReport::Outcome::Sound:
            return ExitCode::done;
        case CheckReport::Outcome::Problems:
            return ExitCode::problems;
        case CheckReport::Outcome::Unreadable:
            break;
        }
        return ExitCode::failed;
    }

    int exportar(Context& c, const QStringList& args)
    {
        if (args.isEmpty() || args.size() > 2)
            return usage(c, exportarHelp);
        Progress progress(&c.err, QStringLiteral("exportando"), c.terminal);
        if (args.size() == 1 || args[1] == QLatin1String("-")) {
            c.out.flush();
            const ExportResult result = exportCatalog(args[0], c.outDevice, progress);
            if (!result.written)
                return failure(
                    c, QStringLiteral("no se pudo escribir el CSV en la salida estándar"));
            return ExitCode::done;
        }

        const QString target = args[1];
        if (QFileInfo::exists(target))
            return failure(
                c, QStringLiteral("El archivo %1 ya existe; no se sobrescribe.").arg(target));
        // Written under another name and renamed at the end, so that a failed export
        // leaves no partial CSV behind.
        QSaveFile file(target);
        if (!file.open(QIODevice::WriteOnly))
            return failure(
                c, QStringLiteral("No se puede escribir %1: %2").arg(target, fileProblem(file)));
        const ExportResult result = exportCatalog(args[0], file, progress);
        if (!result.written || !file.commit())
            return failure(
                c, QStringLiteral("No se puede escribir %1: %2").arg(target, fileProblem(file)));
        c.out << "Exportados " << result.cds << " CD a " << target << ".\n";
        return ExitCode::done;
    }

    int importar(Context& c, const QStringList& args)
    {
        if (args.size() != 2)
            return usage(c, importarHelp);
        QFile file;
        const bool fromInput = args[1] == QLatin1String("-");
        const QString csvName = fromInput ? QStringLiteral("la entrada estándar") : args[1];
        if (fromInput ? !file.open(stdin, QIODevice::ReadOnly)
                      : (file.setFileName(args[1]), !readableFile(c, file)))
            return ExitCode::failed;

        Progress progress(&c.err, QStringLiteral("importando"), c.terminal);
        const ImportResult result = importCatalog(args[0], file, progress);
        if (result.refused.isEmpty()) {
            c.out << "Importados " << result.cds << " CD en " << args[0] << ".\n";
            return ExitCode::done;
        }
        c.err << "velmor-db: No se ha importado nada de " << csvName << ": "
              << result.refused.size()
              << (result.refused.size() == 1 ? " línea rechazada.\n" : " líneas rechazadas.\n");
        for (const RefusedLine& refused : result.refused)
            c.err << "  línea " << refused.line << ": " << refused.reason << '\n';
        return ExitCode::problems;
    }

    int convertir(Context& c, const QStringList& args)
    {
        if (args.size() != 2)
            return usage(c, convertirHelp);
        Progress progress(&c.err, QStringLiteral("convirtiendo"), c.terminal);
        const CdMapping mapping = convertCatalog(args[0], args[1], progress);
        c.out << "Convertidos " << mapping.records.size() << " CD de " << args[0] << " a "
              << args[1] << ".\n";
        for (const QString& line : mapping.withoutSongs)
            c.out << "  " << line << '\n';
        if (mapping.leftOut.isEmpty())
            return ExitCode::done;
        c.out << "No se pudieron traer " << mapping.leftOut.size() << " filas:\n";
        for (const QString& line : mapping.leftOut)
            c.out << "  " << line << '\n';
        return ExitCode::problems;
    }

    bool wantsHelp(const QStringList& args)
    {
        return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
    }
}

int runCommand(const QStringList& arguments, QIODevice& out, QIODevice& err, bool terminal)
{
    Context c(out, err, terminal);
    if (arguments.isEmpty())
        return usage(c, generalHelp);

    struct Command {
        const char* name;
        const char* help;
        int (*run)(Context&, const QStringList&);
    };
    static const Command commands[] = {
        { "crear", crearHelp, crear },
        { "verificar", verificarHelp, verificar },
        { "exportar", exportarHelp, exportar },
        { "importar", importarHelp, importar },
        { "convertir", convertirHelp, convertir },
    };

    const QString name = arguments[0];
    const QStringList args = arguments.mid(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h")
        || name == QLatin1String("ayuda")) {
        c.out << generalHelp;
        return ExitCode::done;
    }
    if (name == QLatin1String("--version")) {
        c.out << "velmor-db " VELMOR_DB_VERSION "\n";
        return ExitCode::done;
    }
    for (const Command& command : commands) {
        if (name != QLatin1String(command.name))
            continue;
        if (wantsHelp(args)) {
            c.out << command.help;
            return ExitCode::done;
        }
        try {
            return command.run(c, args);
        } catch (const DataError& error) {
            return failure(c, error.description);
        }
    }
    c.err << "velmor-db: orden desconocida «" << name << "».\n\n";
    return usage(c, generalHelp);
}

}
