#include "commands.h"

#include "catalogbackup.h"
#include "catalogcheck.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "catalogoption.h"
#include "catalogreport.h"
#include "conversion.h"
#include "newfile.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>

namespace velmor::tool {

namespace {
    const char* const generalHelp = R"(Uso: velmor-db ORDEN ARGUMENTOS

Mantenimiento del archivo de catálogo de CD de velmor (velmor.mdb).

Órdenes:
  crear RUTA                            crea un catálogo vacío
  verificar RUTA                        comprueba que un catálogo está en buen estado
  exportar RUTA [ARCHIVO.csv]           escribe todos los CD en formato CSV
                                        (--hoja ARCHIVO.ods: una hoja de cálculo)
  importar RUTA ARCHIVO.csv             añade al catálogo los CD de un CSV o un .ods
                                        (--reemplazar: también corrige CD guardados)
  respaldar RUTA DESTINO                hace una copia de seguridad del catálogo
  restaurar COPIA RUTA                  vuelve a poner una copia en lugar del catálogo
  informe RUTA ARCHIVO.pdf              escribe el catálogo para imprimir (PDF o HTML)
                                        (--lista: una línea por CD; --por-clave)
  convertir ARCHIVO_ACCESS RUTA_NUEVA   convierte un catálogo de Access/Jet

Opciones:
  --catalogo                            su propio catálogo, en lugar de la RUTA
                                        de la orden (abajo se dice dónde está)
  --catalogo=RUTA                       ese catálogo, en lugar de la RUTA de la orden
  --help, -h                            muestra esta ayuda
  --version                             muestra la versión

«velmor-db ORDEN --help» explica cada orden. Un guion (-) en lugar de
ARCHIVO.csv es la entrada o la salida estándar. Tras «--» nada es una opción,
para nombrar archivos que empiezan por guion.

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
sean texto, que las claves no se repitan ni pasen de 9007199254740992, que los
textos cumplan las reglas de velmor (longitud, caracteres, UTF-8 válido), que
no haya índices de texto sin distinción de mayúsculas (NOCASE), que otros
programas ordenan de otra manera, y que nada del archivo (disparadores,
condiciones CHECK, índices únicos, ordenaciones desconocidas) impida grabar.
Escribe un informe breve; cada línea nombra el archivo.

Los índices que se calculan con una expresión o llevan WHERE, las restricciones
CHECK y las columnas calculadas se señalan como problemas y no se evalúan, ni
se hace entonces la comprobación de integridad, que tendría que evaluarlos en
cada fila. La verificación se detiene, con un problema que lo dice, si pasa de
un minuto más un segundo por cada 4 MB del archivo. Con más de unos miles de CD
se muestra el avance por la salida de errores.

Si una escritura quedó interrumpida (un corte de luz, un programa cerrado a la
fuerza), antes se deshace, como haría velmor al abrirlo.

Códigos de salida: 0 todo correcto; 1 se encontró algún problema; 2 el archivo
no se puede leer o está en uso por otro programa.
)";

    const char* const exportarHelp = R"(Uso: velmor-db exportar RUTA [ARCHIVO.csv]
     velmor-db exportar --hoja RUTA ARCHIVO.ods
     velmor-db exportar --hoja RUTA [ARCHIVO.csv]

Escribe cada CD del catálogo como una línea CSV (RFC 4180, UTF-8), ordenados por
clave, tras una cabecera con los nombres de las columnas:
id,nombre,artista,descripcion,cancion1,...,cancion20
Con un ARCHIVO terminado en .ods se escribe una hoja de cálculo OpenDocument,
la que se recomienda para editar el catálogo en una hoja de cálculo: la clave
es un número (texto si tiene más de 15 cifras) y todo lo demás es texto, así
que nada se convierte ni se calcula («007», «3/4», «=A1» quedan como están);
la fila de cabecera queda fija y las columnas tienen el ancho de sus límites.
Un CD con un carácter que una hoja de cálculo no puede guardar (de control)
impide escribirla. Con --hoja y cualquier otro nombre, o por la salida
estándar, sale el CSV que abre directamente una hoja de cálculo en español:
campos separados por «;», UTF-8 con marca de orden de bytes y líneas CR LF.
«velmor-db importar» lee las tres formas.
Sin ARCHIVO.csv, o con un guion (-), el CSV sale por la salida estándar. Un
ARCHIVO.csv que ya existe no se sobrescribe. Con más de unos miles de CD se
muestra el avance por la salida de errores.

Códigos de salida: 0 exportado; 2 el catálogo no se puede leer o el CSV no se
puede escribir.
)";

    const char* const importarHelp = R"(Uso: velmor-db importar RUTA ARCHIVO.csv
     velmor-db importar --reemplazar RUTA ARCHIVO.csv

Añade al catálogo los CD de un archivo CSV con la cabecera que escribe
«velmor-db exportar». Con un guion (-) como ARCHIVO.csv se lee la entrada
estándar. Los campos se separan con comas, o con punto y coma si la cabecera
los usa (como guardan las hojas de cálculo en español); una marca de orden de
bytes al principio y los finales de línea CR LF o LF se aceptan. Una hoja de
cálculo OpenDocument (.ods) se lee igual, una fila por línea, de su primera
hoja: de cada celda, el texto que muestra (sus párrafos separados por saltos
de línea), y de la clave, su valor exacto; una celda de más de 64 Ki
caracteres, una fila con más de 1024 celdas con datos o una hoja descomprimida
de más de 4 GiB detienen la lectura. Cada línea
sigue las reglas del formulario del catálogo al grabar: clave numérica entera
que quepa exacta (como mucho 9007199254740992), nombre y descripción
obligatorios, textos en mayúsculas, como mucho 30 caracteres el nombre, 25 el
artista, 250 la descripción y 30 cada canción, ningún carácter de control salvo
los saltos de línea de la descripción, y ninguna clave que ya esté en el
catálogo o que se repita en el archivo. Un campo de más de 64 KiB o una línea de
más de 256 KiB detienen la lectura. La importación es una sola transacción: si se rechaza
alguna línea no se guarda nada y se listan todas las líneas rechazadas con su
número y el motivo, por la salida de errores.

Con --reemplazar, una línea cuya clave ya está en el catálogo sustituye ese CD
(sus datos y sus canciones) en lugar de rechazarse; las demás se añaden. Un CD
que el archivo trae tal como está guardado no se toca. El informe dice cuántos
CD cambiaron, cuántos se añadieron y cuántos siguen sin cambios. Así se
corrigen muchos CD a la vez: exportar a .ods, editar en una hoja de cálculo e
importar con --reemplazar.

Códigos de salida: 0 importado; 1 alguna línea rechazada (no se guardó nada);
2 un archivo no se puede leer o escribir.
)";

    const char* const respaldarHelp = R"(Uso: velmor-db respaldar RUTA DESTINO

Hace en DESTINO una copia de seguridad del catálogo RUTA con la copia en línea
del motor de datos: la copia es coherente aunque velmor tenga el catálogo
abierto o esté grabando, y guarda lo último que se confirmó. Si otro programa
está a mitad de una grabación grande, se espera a que termine (hasta unos
segundos). DESTINO no debe existir; la copia se escribe junto a él y solo toma
su nombre cuando está completa y guardada en el disco. Un diario (-journal,
-wal, -shm) de otro catálogo que quede junto a DESTINO se aparta antes con el
nombre terminado en «.apartado», porque dañaría la copia. Después se comprueba
la copia como con «velmor-db verificar».

Códigos de salida: 0 copia hecha y en buen estado; 1 copia hecha, pero con
problemas (los mismos del catálogo); 2 no se pudo hacer la copia.
)";

    const char* const restaurarHelp = R"(Uso: velmor-db restaurar COPIA RUTA

Pone la copia de seguridad COPIA en lugar del catálogo RUTA. Primero comprueba
la copia como «velmor-db verificar»; si tiene algún problema no se toca nada.
La copia se escribe junto a RUTA y ocupa su lugar de una sola vez, y el catálogo
que había se conserva como RUTA.anterior, o como RUTA.anterior.1, .2… si ese
nombre ya está tomado: restaurar RUTA.anterior deshace la restauración. Un
diario (-journal, -wal, -shm) de otro catálogo que quede junto a RUTA se aparta
antes con el nombre terminado en «.apartado», porque dañaría el catálogo
restaurado. Se rechaza si RUTA existe y no es un catálogo, si es de solo
lectura o si otro programa está leyendo o grabando el catálogo en ese momento.

Códigos de salida: 0 restaurado; 1 la copia tiene problemas (no se tocó nada);
2 un archivo no se puede leer o escribir, o el catálogo está en uso.
)";

    const char* const informeHelp = R"(Uso: velmor-db informe RUTA ARCHIVO.pdf
     velmor-db informe RUTA ARCHIVO.html
     velmor-db informe [--lista] [--por-clave] RUTA ARCHIVO.pdf|ARCHIVO.html

Escribe el catálogo para imprimir, en PDF o en HTML según el nombre del
archivo: arriba, el número de CD, de artistas y de canciones, y después cada CD
agrupado por artista, ordenados por artista y nombre en orden alfabético
español, con su clave, nombre, descripción y canciones numeradas, en dos
columnas por página A4; una columna que sigue con un artista repite su nombre
(«… (continúa)»), un CD no se parte salvo que no quepa en una columna, el pie
dice «Página N de M» y al final un índice da la página donde empieza cada
artista. Con --lista, una línea por CD (clave, nombre, artista y número de
canciones) en columnas, unas 50 por página. Con --por-clave, los CD van
ordenados por clave, cada uno con su artista. El HTML tiene lo mismo, con una
hoja de estilo para imprimir. Un texto de más de 4000 caracteres se corta con
una marca. El catálogo se lee de una copia que el motor de datos guarda en un
archivo temporal propio, así que solo se bloquea mientras se copia y la memoria
no crece con el catálogo. Con más de unos miles de CD se muestra el avance por
la salida de errores. El catálogo no se modifica. Un ARCHIVO que ya existe no
se sobrescribe.

Códigos de salida: 0 escrito; 2 el catálogo no se puede leer, el informe no se
puede escribir o su nombre no termina en .pdf o .html.
)";

    const char* const convertirHelp = R"(Uso: velmor-db convertir ARCHIVO_ACCESS RUTA_NUEVA

Lee las tablas datos_cd y canciones de un catálogo antiguo de Access/Jet y
escribe un catálogo nuevo en RUTA_NUEVA con las mismas claves y textos. El
archivo de Access no se modifica y RUTA_NUEVA no debe existir. El archivo de
Access se lee en un proceso aparte con límites de tiempo y de memoria: si está
dañado y la lectura falla, se dice y no se crea RUTA_NUEVA. Un CD sin fila de
canciones se trae con las canciones vacías y se nombra en el informe; las filas
que no se pueden traer (clave no numérica, fuera de rango o repetida, canciones
sin CD, textos que velmor no guardaría) se listan.

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

    // Where the options end: at "--", after which every argument is an operand,
    // so that a file whose name starts with dashes can be named.
    qsizetype endOfOptions(const QStringList& args)
    {
        const qsizetype end = args.indexOf(QLatin1String("--"));
        return end < 0 ? args.size() : end;
    }

    // Removes the option from args; true when it was there.
    bool takeOption(QStringList& args, const char* option)
    {
        bool found = false;
        for (qsizetype i = endOfOptions(args) - 1; i >= 0; --i) {
            if (args[i] == QLatin1String(option)) {
                args.removeAt(i);
                found = true;
            }
        }
        return found;
    }

    bool hasUnknownOption(const QStringList& args)
    {
        return std::any_of(args.cbegin(), args.cbegin() + endOfOptions(args),
            [](const QString& arg) { return arg.startsWith(QLatin1String("--")); });
    }

    // The arguments that are not options, once the options were taken.
    QStringList operands(QStringList args)
    {
        if (const qsizetype end = endOfOptions(args); end < args.size())
            args.removeAt(end);
        return args;
    }

    int crear(Context& c, const QStringList& arguments)
    {
        const QStringList args = operands(arguments);
        if (args.size() != 1 || hasUnknownOption(arguments))
            return usage(c, crearHelp);
        CatalogFile::create(args[0]);
        c.out << "Catálogo vacío creado en " << args[0] << ".\n";
        return ExitCode::done;
    }

    int verificar(Context& c, const QStringList& arguments)
    {
        const QStringList args = operands(arguments);
        if (args.size() != 1 || hasUnknownOption(arguments))
            return usage(c, verificarHelp);
        Progress progress(&c.err, QStringLiteral("verificando"), c.terminal);
        const CheckReport report = checkCatalog(args[0], &progress);
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

    int exportar(Context& c, const QStringList& arguments)
    {
        QStringList options = arguments;
        const bool sheet = takeOption(options, "--hoja");
        const QStringList args = operands(options);
        if (args.isEmpty() || args.size() > 2 || hasUnknownOption(options))
            return usage(c, exportarHelp);
        Progress progress(&c.err, QStringLiteral("exportando"), c.terminal);
        if (args.size() == 1 || args[1] == QLatin1String("-")) {
            c.out.flush();
            const ExportResult result = exportCatalog(args[0], c.outDevice, progress,
                sheet ? ExportForm::Spreadsheet : ExportForm::Plain);
            if (!result.written)
                return failure(
                    c, QStringLiteral("no se pudo escribir el CSV en la salida estándar"));
            return ExitCode::done;
        }

        const QString target = args[1];
        // A spreadsheet file whenever the name asks for one; any other name gets
        // the CSV that scripts read.
        const bool openDocument
            = QFileInfo(target).suffix().compare(QLatin1String("ods"), Qt::CaseInsensitive) == 0;
        const ExportForm form = openDocument ? ExportForm::OpenDocument
            : sheet                          ? ExportForm::Spreadsheet
                                             : ExportForm::Plain;
        NewFile file(target);
        const ExportResult result = exportCatalog(args[0], file.device(), progress, form);
        if (!result.refusal.isEmpty()) {
            return failure(c,
                QStringLiteral("No se ha escrito «%1»: %2. El CSV guarda cualquier texto.")
                    .arg(target, result.refusal));
        }
        file.place();
        c.out << "Exportados " << result.cds << " CD a " << target << ".\n";
        return ExitCode::done;
    }

    // "1 cambiado", "2 cambiados": Spanish number agreement.
    QString counted(qint64 n, const char* one, const char* many)
    {
        return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? one : many);
    }

    int importar(Context& c, const QStringList& arguments)
    {
        QStringList options = arguments;
        const ImportMode mode
            = takeOption(options, "--reemplazar") ? ImportMode::Replace : ImportMode::Add;
        const QStringList args = operands(options);
        if (args.size() != 2 || hasUnknownOption(options))
            return usage(c, importarHelp);
        QFile file;
        const bool fromInput = args[1] == QLatin1String("-");
        const QString csvName = fromInput ? QStringLiteral("la entrada estándar") : args[1];
        if (fromInput ? !file.open(stdin, QIODevice::ReadOnly)
                      : (file.setFileName(args[1]), !readableFile(c, file)))
            return ExitCode::failed;

        Progress progress(&c.err, QStringLiteral("importando"), c.terminal);
        const ImportResult result = importCatalog(args[0], file, progress, mode);
        if (result.refused.isEmpty()) {
            if (mode == ImportMode::Replace) {
                c.out << args[0] << ": " << counted(result.replaced, "cambiado", "cambiados")
                      << ", " << counted(result.cds - result.replaced, "añadido", "añadidos")
                      << ", " << result.unchanged << " sin cambios.\n";
            } else {
                c.out << "Importados " << result.cds << " CD en " << args[0] << ".\n";
            }
            return ExitCode::done;
        }
        const char* const one = result.sheet ? " fila rechazada.\n" : " línea rechazada.\n";
        const char* const many = result.sheet ? " filas rechazadas.\n" : " líneas rechazadas.\n";
        c.err << "velmor-db: No se ha importado nada de " << csvName << ": "
              << result.refused.size() << (result.refused.size() == 1 ? one : many);
        for (const RefusedLine& refused : result.refused)
            c.err << (result.sheet ? "  fila " : "  línea ") << refused.line << ": "
                  << refused.reason << '\n';
        return ExitCode::problems;
    }

    int respaldar(Context& c, const QStringList& arguments)
    {
        const QStringList args = operands(arguments);
        if (args.size() != 2 || hasUnknownOption(arguments))
            return usage(c, respaldarHelp);
        Progress progress(&c.err, QStringLiteral("respaldando"), c.terminal);
        const BackupResult result = backupCatalog(args[0], args[1], progress);
        for (const QString& line : result.setAside)
            c.out << line << '\n';
        c.out << "Copia de " << args[0] << " guardada en " << args[1] << " (" << result.cds
              << " CD).\n";
        if (result.check.outcome == CheckReport::Outcome::Sound) {
            c.out << "La copia está en buen estado.\n";
            return ExitCode::done;
        }
        c.out << "La copia no pasa la verificación:\n";
        for (const QString& line : result.check.lines)
            c.out << "  " << line << '\n';
        return result.check.outcome == CheckReport::Outcome::Problems ? ExitCode::problems
                                                                      : ExitCode::failed;
    }

    int restaurar(Context& c, const QStringList& arguments)
    {
        const QStringList args = operands(arguments);
        if (args.size() != 2 || hasUnknownOption(arguments))
            return usage(c, restaurarHelp);
        Progress progress(&c.err, QStringLiteral("restaurando"), c.terminal);
        const RestoreResult result = restoreCatalog(args[0], args[1], progress);
        for (const QString& line : result.setAside)
            c.out << line << '\n';
        if (result.restored) {
            c.out << "Catálogo " << args[1] << " restaurado desde " << args[0];
            if (!result.previous.isEmpty())
                c.out << "; el que había se conserva como " << result.previous;
            c.out << ".\n";
            return ExitCode::done;
        }
        if (result.check.outcome == CheckReport::Outcome::Unreadable)
            return failure(c, result.check.lines.join(QLatin1Char(' ')));
        c.out << "No se ha restaurado nada; " << args[1]
              << " sigue como estaba. La copia no pasa la verificación:\n";
        for (const QString& line : result.check.lines)
            c.out << "  " << line << '\n';
        return ExitCode::problems;
    }

    int informe(Context& c, const QStringList& arguments)
    {
        QStringList options = arguments;
        ReportOptions what;
        what.list = takeOption(options, "--lista");
        what.byKey = takeOption(options, "--por-clave");
        const QStringList args = operands(options);
        if (args.size() != 2 || hasUnknownOption(options))
            return usage(c, informeHelp);
        const QString target = args[1];
        const std::optional<ReportFormat> format = reportFormatFor(target);
        if (!format) {
            return failure(c,
                QStringLiteral("El nombre del informe %1 debe terminar en .pdf o .html.")
                    .arg(target));
        }
        if (*format == ReportFormat::Pdf
            && !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return failure(c, QStringLiteral("No se puede escribir un PDF sin la parte gráfica."));
        NewFile file(target);
        Progress progress(&c.err, QStringLiteral("escribiendo el informe"), c.terminal);
        const ReportResult result = writeReport(args[0], file.device(), *format, what, progress);
        file.place();
        c.out << "Informe de " << result.cds << " CD escrito en " << target;
        if (*format == ReportFormat::Pdf)
            c.out << " (" << result.pages << (result.pages == 1 ? " página)" : " páginas)");
        c.out << ".\n";
        return ExitCode::done;
    }

    int convertir(Context& c, const QStringList& arguments)
    {
        const QStringList args = operands(arguments);
        if (args.size() != 2 || hasUnknownOption(arguments))
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
        const QStringList options = args.mid(0, endOfOptions(args));
        return options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"));
    }
}

int runCommand(const QStringList& given, QIODevice& out, QIODevice& err, bool terminal)
{
    Context c(out, err, terminal);
    QStringList arguments = given;
    QString catalog;
    if (!takeCatalogOption(arguments, catalog))
        return failure(c, catalogOptionMisused());
    if (arguments.isEmpty())
        return usage(c, generalHelp);

    struct Command {
        const char* name;
        const char* help;
        int (*run)(Context&, const QStringList&);
        int catalogAt; // which of the command's arguments names the catalogue
    };
    static const Command commands[] = {
        { "crear", crearHelp, crear, 0 },
        { "verificar", verificarHelp, verificar, 0 },
        { "exportar", exportarHelp, exportar, 0 },
        { "importar", importarHelp, importar, 0 },
        { "respaldar", respaldarHelp, respaldar, 0 },
        { "restaurar", restaurarHelp, restaurar, 1 },
        { "informe", informeHelp, informe, 0 },
        { "convertir", convertirHelp, convertir, 1 },
    };

    const QString name = arguments[0];
    QStringList args = arguments.mid(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h")
        || name == QLatin1String("ayuda")) {
        c.out << generalHelp << catalogNote();
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
            c.out << command.help << catalogNote();
            return ExitCode::done;
        }
        if (!catalog.isEmpty())
            placeCatalog(args, catalog, command.catalogAt);
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
