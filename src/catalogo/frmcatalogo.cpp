#include "frmcatalogo.h"

#include "catalogo/iconos.h"
#include "catalogo/limitedlineedit.h"
#include "catalogo/limitedplaintextedit.h"
#include "data/catalogfile.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/statements.h"
#include "data/valuerules.h"
#include "ui/formhost.h"
#include "ui/fuentes.h"
#include "ui/loaderror.h"
#include "ui/messageboxes.h"
#include "ui/twips.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <utility>

namespace velmor {

namespace {

    constexpr int numeroDeCanciones = 20;

    const QColor colorDeMarcos(0, 0, 192);
    const QColor colorDeEtiquetas(128, 64, 0);

    QFont fuenteDeMarcos()
    {
        QFont fuente(QStringLiteral("Arial Narrow"), 9);
        fuente.setFamilies(familiasInstaladas(
            { QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow") }));
        fuente.setItalic(true);
        fuente.setWeight(QFont::Normal);
        return fuente;
    }

    // Children of a frame would inherit its caption font; every attribute is set
    // explicitly so that they keep the application's font instead.
    QFont fuentePredeterminada()
    {
        const QFont base = QApplication::font();
        QFont fuente(base);
        fuente.setFamilies(
            base.families().isEmpty() ? QStringList { base.family() } : base.families());
        if (base.pointSizeF() > 0)
            fuente.setPointSizeF(base.pointSizeF());
        else
            fuente.setPixelSize(base.pixelSize());
        fuente.setItalic(base.italic());
        fuente.setWeight(base.weight());
        fuente.setStretch(base.stretch());
        return fuente;
    }

    QGroupBox* crearMarco(QWidget* parent, const char* nombre, const QString& titulo, QRect rect)
    {
        auto* marco = new QGroupBox(titulo, parent);
        marco->setObjectName(QLatin1String(nombre));
        marco->setGeometry(rect);
        marco->setFont(fuenteDeMarcos());
        QPalette paleta = marco->palette();
        paleta.setColor(QPalette::WindowText, colorDeMarcos);
        marco->setPalette(paleta);
        return marco;
    }

    qreal anchoDeTexto(const QFont& fuente, const QString& texto)
    {
        const QFontMetricsF medidas(fuente);
        return std::max(medidas.horizontalAdvance(texto),
            medidas.boundingRect(QRectF(), Qt::AlignLeft, texto).width());
    }

    // A caption and the width of its text, measured once: laying the text out is
    // the dearest part of building a label.
    struct Etiqueta {
        QLabel* label;
        qreal ancho;
    };

    Etiqueta crearEtiqueta(QGroupBox* marco, int numero, const QString& texto, QRect rect)
    {
        auto* etiqueta = new QLabel(texto, marco);
        etiqueta->setObjectName(QStringLiteral("Label%1").arg(numero));
        etiqueta->setFont(fuentePredeterminada());
        etiqueta->setGeometry(rect);
        QPalette paleta = etiqueta->palette();
        paleta.setColor(QPalette::WindowText, colorDeEtiquetas);
        etiqueta->setPalette(paleta);
        return { etiqueta, anchoDeTexto(etiqueta->font(), texto) };
    }

    // The positions were laid out for a narrow 8-point font, and a label reaches a
    // pixel under its box. A caption wider than the room its label leaves before the
    // box is set a little tighter, up to a fifth of a pixel between letters at 96 DPI,
    // and smaller only when that is not enough: the label keeps the place the form
    // gives it, and no letter is cut or lies under the box.
    void ajustarTexto(const Etiqueta& etiqueta, const QRect& cuadro)
    {
        const QRect lugar = etiqueta.label->geometry();
        const int espacio = std::min(lugar.width(), cuadro.left() - 1 - lugar.left());
        if (etiqueta.ancho <= espacio)
            return;
        const QString texto = etiqueta.label->text();
        QFont fuente = etiqueta.label->font();
        const qreal paso = twips::dpi() / 96 / 20;
        for (int apretado = 1; apretado <= 4 && anchoDeTexto(fuente, texto) > espacio; ++apretado)
            fuente.setLetterSpacing(QFont::AbsoluteSpacing, -apretado * paso);
        while (anchoDeTexto(fuente, texto) > espacio && fuente.pointSizeF() > 6)
            fuente.setPointSizeF(fuente.pointSizeF() - 0.25);
        etiqueta.label->setFont(fuente);
    }

    LimitedLineEdit* crearCuadro(
        QGroupBox* marco, const QString& nombre, int longitud, QRect rect, Etiqueta etiqueta)
    {
        auto* cuadro = new LimitedLineEdit(longitud, marco);
        cuadro->setObjectName(nombre);
        cuadro->setGeometry(rect);
        cuadro->setFont(fuentePredeterminada());
        etiqueta.label->setBuddy(cuadro);
        ajustarTexto(etiqueta, rect);
        return cuadro;
    }

    const QString textoGrabarSinDatos = QStringLiteral("Escriba datos antes de intentar grabar.");
    const QString textoEliminarSinDatos
        = QStringLiteral("Seleccione datos antes de intentar eliminar.");
    const QString textoConfirmarEliminar
        = QStringLiteral("Esto eliminará los datos del CD. ¿Desea hacerlo?");
    const QString textoCdCambiado
        = QStringLiteral("Los datos guardados del CD no son los que se mostraban; ahora se "
                         "muestran los guardados.\rEsto eliminará los datos del CD. ¿Desea "
                         "hacerlo?");
    const QString textoClaveNoEntera
        = QStringLiteral("La clave del CD debe ser un número entero.\r"
                         "Escriba la clave sólo con cifras, sin decimales ni separadores.");
    const QString textoClaveInexacta
        = QStringLiteral("La clave del CD no se puede guardar exacta.\rEl máximo es %1.")
              .arg(largestKey);

    // The 23 texts of a CD, in box order: name, artist, description, songs.
    constexpr int numeroDeTextos = 3 + numeroDeCanciones;

    TextColumn columnaDe(int texto)
    {
        switch (texto) {
        case 0:
            return TextColumn::Nombre;
        case 1:
            return TextColumn::Artista;
        case 2:
            return TextColumn::Descripcion;
        }
        return TextColumn::Cancion;
    }

    // What a save stores from a box's text.
    QString valorAGuardar(int texto, const QString& enLaCaja)
    {
        return upperCaseForm(boxText(columnaDe(texto), enLaCaja));
    }
}

frmcatalogo::frmcatalogo(FormHost* host, QWidget* parent)
    : QWidget(parent)
    , m_host(host)
{
    setObjectName(QStringLiteral("frmcatalogo"));
    setWindowTitle(QStringLiteral(" Catálogo de CD's"));
    setWindowIcon(iconoCatalogo());
    setFixedSize(twips::size(8880, 6750));
    crearControles();
    // Whoever shows or activates the form gives the focus to the key box.
    setFocusProxy(txtclacd);
    m_preparacion = new QTimer(this);
    m_preparacion->setObjectName(QStringLiteral("preparacion"));
    m_preparacion->setSingleShot(true);
    connect(m_preparacion, &QTimer::timeout, this, &frmcatalogo::prepararBusqueda);
}

frmcatalogo::~frmcatalogo() = default;

void frmcatalogo::crearControles()
{
    crearBarra();
    crearDatos();
    crearCanciones();
    fijarOrdenDeFoco();
}

void frmcatalogo::crearBarra()
{
    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setGeometry(twips::rect(0, 0, 8880, 420));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setIconSize(twips::desde96(QSize(16, 16)));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);

    struct Boton {
        const char* clave;
        ImagenBarra imagen;
        const char* ayuda;
    };
    const Boton botones[] = {
        { "agregar", ImagenBarra::Agregar, "Escribir nuevos datos" },
        { "grabar", ImagenBarra::Grabar, "Grabar datos al catálogo" },
        { "eliminar", ImagenBarra::Eliminar, "Elimina los datos actuales" },
        { "consultar", ImagenBarra::Consultar, "Permite hacer consultas" },
        { "salir", ImagenBarra::Salir, "Termina el programa" },
    };
    // 610 x 582 hundredths of a millimetre.
    const QSize tamanoDeBoton = twips::desde96(QSize(23, 22));
    for (const Boton& boton : botones) {
        if (!m_botones.isEmpty())
            m_botones.append(Toolbar1->addSeparator());
        const QString clave = QLatin1String(boton.clave);
        const QString ayuda = QString::fromUtf8(boton.ayuda);
        QAction* accion
            = Toolbar1->addAction(iconoBarra(boton.imagen, Toolbar1->iconSize().width()), ayuda);
        accion->setObjectName(clave);
        accion->setToolTip(ayuda);
        const int indice = int(m_botones.size()) + 1;
        connect(
            accion, &QAction::triggered, this, [this, indice] { Toolbar1_ButtonClick(indice); });
        m_botones.append(accion);
        if (auto* widget = Toolbar1->widgetForAction(accion)) {
            widget->setObjectName(clave);
            widget->setAccessibleName(clave);
            widget->setAccessibleDescription(ayuda);
            widget->setFixedSize(tamanoDeBoton);
        }
    }
    // The button that shows the buttons a narrow toolbar cannot hold.
    for (auto* boton : Toolbar1->findChildren<QToolButton*>())
        if (boton->accessibleName().isEmpty())
            boton->setAccessibleName(QStringLiteral("Más botones"));
}

void frmcatalogo::crearDatos()
{
    Frame1 = crearMarco(this, "Frame1", QStringLiteral("DATOS"), twips::rect(75, 450, 8715, 2040));

    const Etiqueta Label1
        = crearEtiqueta(Frame1, 1, QStringLiteral("Clave del CD"), twips::rect(300, 375, 990, 240));
    txtclacd = crearCuadro(
        Frame1, QStringLiteral("txtclacd"), 4, twips::rect(1275, 300, 990, 285), Label1);

    const Etiqueta Label2 = crearEtiqueta(
        Frame1, 2, QStringLiteral("Nombre del CD"), twips::rect(2775, 375, 1140, 240));
    txtnomcd = crearCuadro(
        Frame1, QStringLiteral("txtnomcd"), 30, twips::rect(3975, 300, 4365, 285), Label2);

    const Etiqueta Label3
        = crearEtiqueta(Frame1, 3, QStringLiteral("Artista"), twips::rect(2175, 825, 465, 240));
    txtart = crearCuadro(
        Frame1, QStringLiteral("txtart"), 25, twips::rect(2700, 750, 3090, 285), Label3);

    const Etiqueta Label4
        = crearEtiqueta(Frame1, 4, QStringLiteral("Descripción"), twips::rect(225, 1275, 915, 240));
    txtdes = new LimitedPlainTextEdit(250, Frame1);
    txtdes->setObjectName(QStringLiteral("txtdes"));
    txtdes->setGeometry(twips::rect(1125, 1200, 7215, 660));
    txtdes->setFont(fuentePredeterminada());
    txtdes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtdes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtdes->setTabChangesFocus(true);
    Label4.label->setBuddy(txtdes);
    ajustarTexto(Label4, txtdes->geometry());

    connect(txtclacd, &QLineEdit::textChanged, this, [this] { txtclacd_Change(); });
    connect(txtnomcd, &QLineEdit::textChanged, this, [this] { txtnomcd_Change(); });
    connect(txtart, &QLineEdit::textChanged, this, [this] { txtart_Change(); });
}

void frmcatalogo::crearCanciones()
{
    Frame2 = crearMarco(
        this, "Frame2", QStringLiteral("CANCIONES"), twips::rect(75, 2550, 8715, 4140));
    for (int n = 1; n <= numeroDeCanciones; ++n) {
        const bool primeraColumna = n <= 10;
        const int fila = primeraColumna ? n - 1 : n - 11;
        const int izquierdaEtiqueta = primeraColumna ? 300 : 4575;
        const int izquierdaCuadro = primeraColumna ? 1125 : 5400;
        const Etiqueta etiqueta = crearEtiqueta(Frame2, n + 4, QStringLiteral("Canción %1").arg(n),
            twips::rect(izquierdaEtiqueta, 375 + 375 * fila, 840, 240));
        txtcan.append(crearCuadro(Frame2, QStringLiteral("txtcan%1").arg(n), 30,
            twips::rect(izquierdaCuadro, 300 + 375 * fila, 3000, 285), etiqueta));
    }
}

void frmcatalogo::fijarOrdenDeFoco()
{
    QList<QWidget*> orden { txtclacd, txtnomcd, txtart, txtdes };
    for (QLineEdit* cuadro : std::as_const(txtcan))
        orden.append(cuadro);
    for (qsizetype i = 1; i < orden.size(); ++i)
        setTabOrder(orden[i - 1], orden[i]);
}

bool frmcatalogo::Form_Load()
{
    try {
        datcd.setDatabaseName(CatalogFile::path());
        datcd.setRecordSource(QLatin1String(tablaDatosCd));
        datcd.Refresh();
        datcan.setDatabaseName(CatalogFile::path());
        datcan.setRecordSource(QLatin1String(tablaCanciones));
        datcan.Refresh();
    } catch (const DataError& e) {
        MessageBoxes::instance().error(this, loadErrorText(e));
        return false;
    }
    llenando = false;
    // Once the form has been drawn: nobody types a whole name sooner.
    prepararBusquedas(250);
    return true;
}

void frmcatalogo::limpiar_textos()
{
    m_claveMostrada.reset();
    txtclacd->mostrar(QString());
    txtnomcd->mostrar(QString());
    txtart->mostrar(QString());
    txtdes->mostrar(QString());
    for (LimitedLineEdit* cuadro : std::as_const(txtcan))
        cuadro->mostrar(QString());
}

void frmcatalogo::llenar_textos()
{
    // Every value is read before any box changes, so a row that cannot be read
    // leaves the boxes as they were.
    ValoresCd valores;
    try {
        valores = leerGuardado(&datcd.Recordset(), &datcan.Recordset());
    } catch (const DataError&) {
        llenando = false;
        return;
    }
    mostrarCd(valores);
    llenando = false;
}

void frmcatalogo::mostrarCd(const ValoresCd& valores)
{
    const QScopedValueRollback lleno(llenando, true);
    txtclacd->mostrar(valueText(valores.id));
    txtnomcd->mostrar(valores.textos[0]);
    txtart->mostrar(valores.textos[1]);
    txtdes->mostrar(valores.textos[2]);
    for (int n = 0; n < numeroDeCanciones; ++n)
        txtcan[n]->mostrar(valores.textos[3 + n]);
    // Each box shows its value from the start; the box being typed in keeps its
    // caret where the typing goes on.
    for (LimitedLineEdit* cuadro : { txtclacd, txtnomcd, txtart })
        if (cuadro != m_tecleado)
            cuadro->setCursorPosition(0);
    for (LimitedLineEdit* cuadro : std::as_const(txtcan))
        cuadro->setCursorPosition(0);
    m_claveMostrada = storedNumber(valores.id);
}

QString frmcatalogo::textoDe(int texto) const
{
    if (texto == 2)
        return txtdes->toPlainText();
    return (texto < 2 ? (texto ? txtart : txtnomcd) : txtcan[texto - 3])->text();
}

std::optional<QString> frmcatalogo::mostradoDe(int texto) const
{
    if (texto == 2)
        return txtdes->valorMostrado();
    return (texto < 2 ? (texto ? txtart : txtnomcd) : txtcan[texto - 3])->valorMostrado();
}

bool frmcatalogo::muestranLosCuadros(const ValoresCd& valores) const
{
    for (int i = 0; i < numeroDeTextos; ++i)
        if (mostradoDe(i) != valores.textos[i] && valorAGuardar(i, textoDe(i)) != valores.textos[i])
            return false;
    return true;
}

void frmcatalogo::txtclacd_Change()
{
    if (llenando)
        return;
    if (!txtclacd->mostrando())
        m_claveMostrada.reset();
    const QScopedValueRollback origen(m_tecleado, m_tecleado ? m_tecleado : txtclacd);
    try {
        const QString criterio = keyCriterion(txtclacd->text());
        Recordset& cd = datcd.Recordset();
        cd.FindFirst(criterio);
        Recordset& can = datcan.Recordset();
        can.FindFirst(criterio);
        if (!cd.NoMatch() && !can.NoMatch()) {
            llenando = true;
            llenar_textos();
            return;
        }
    } catch (const DataError&) {
        // A look-up the data source cannot run finds nothing.
    }
    if (txtclacd->text().isEmpty())
        limpiar_textos();
    llenando = false;
}

void frmcatalogo::txtnomcd_Change()
{
    if (llenando)
        return;
    const QScopedValueRollback origen(m_tecleado, m_tecleado ? m_tecleado : txtnomcd);
    buscarPorTexto(criterioNombre(txtnomcd->text()));
}

void frmcatalogo::txtart_Change()
{
    if (llenando)
        return;
    const QScopedValueRollback origen(m_tecleado, m_tecleado ? m_tecleado : txtart);
    buscarPorTexto(criterioArtista(txtart->text()));
}

void frmcatalogo::buscarPorTexto(const QString& criterio)
{
    try {
        Recordset& cd = datcd.Recordset();
        cd.FindFirst(criterio);
        if (cd.NoMatch()) {
            llenando = false;
            return;
        }
        // A key that is no number cannot be the key of a songs row.
        const auto id = storedNumber(cd.Fields(QStringLiteral("id")).Value());
        if (!id)
            return;
        Recordset& can = datcan.Recordset();
        can.FindFirst(criterioId(*id));
        if (can.NoMatch())
            return;
    } catch (const DataError&) {
        llenando = false;
        return;
    }
    llenando = true;
    llenar_textos();
}

void frmcatalogo::prepararBusquedas(int demora)
{
    m_columnasPreparadas = -1; // the source is refreshed first
    m_preparacion->start(demora);
}

void frmcatalogo::prepararBusqueda()
{
    // The look-ups by name and by artist need an index of their column. Built at the
    // first look-up, it would hold that keystroke, or the "agregar" click whose
    // emptied boxes look up their empty texts, for as long as reading the whole
    // table takes. So it is built here while the form is idle, in steps of a few
    // milliseconds that let typed keys through, for a source of its own refreshed now:
    // the file connection keeps it, and the sets' own writes keep it in step.
    // A quarter of a frame, so that a step that the system interrupts still ends
    // within one.
    constexpr std::chrono::milliseconds paso(4);
    static const QString columnas[] = { QStringLiteral("nombre"), QStringLiteral("artista") };
    try {
        // Another program's lock ends the round at once instead of holding the form.
        const auto conexion = datcd.connection();
        if (!conexion)
            return;
        const Connection::NoWaiting sinEspera(*conexion);
        if (m_columnasPreparadas < 0) {
            m_preparada.setDatabaseName(datcd.DatabaseName());
            m_preparada.setRecordSource(QLatin1String(tablaDatosCd));
            m_preparada.Refresh();
            m_columnasPreparadas = 0;
        }
        for (; m_columnasPreparadas < 2; ++m_columnasPreparadas)
            if (!m_preparada.Recordset().prepareLookUp(columnas[m_columnasPreparadas], paso)) {
                m_preparacion->start(0);
                return;
            }
    } catch (const DataError&) {
        // The look-ups meet the same problem and deal with it as they would anyway.
    }
}

void frmcatalogo::Toolbar1_ButtonClick(int index)
{
    // A command may write to the catalogue: the look-ups are prepared anew after it.
    const auto preparar = qScopeGuard([this] { prepararBusquedas(0); });
    try {
        datcd.Refresh();
        datcan.Refresh();
    } catch (const DataError& e) {
        MessageBoxes::instance().error(this, e.description);
        // The form can still be closed when its catalogue cannot be read.
        if (index == 9)
            emit closeRequested();
        return;
    }
    switch (index) {
    case 1:
        limpiar_textos();
        break;
    case 3:
        grabar();
        break;
    case 5:
        eliminar();
        break;
    case 7:
        if (m_host)
            m_host->showConsultas();
        break;
    case 9:
        emit closeRequested();
        break;
    default:
        break;
    }
    llenando = false;
}

std::variant<qint64, QString> frmcatalogo::claveParaGrabar() const
{
    if (m_claveMostrada) {
        // The CD shown keeps its key exactly, whatever its size.
        if (const auto* entera = std::get_if<qint64>(&*m_claveMostrada))
            return *entera;
        if (const auto clave = keyOf(*m_claveMostrada))
            return *clave;
    }
    const KeyReading lectura = readKey(txtclacd->text());
    switch (lectura.problem) {
    case KeyReading::Problem::None:
        return lectura.key;
    case KeyReading::Problem::Inexact:
        return textoClaveInexacta;
    default:
        return textoClaveNoEntera;
    }
}

QString frmcatalogo::motivoParaNoGrabar(qint64 clave)
{
    const QString criterio = criterioId(clave);
    datcd.Recordset().FindFirst(criterio);
    bool existe = !datcd.Recordset().NoMatch();
    if (!existe) {
        datcan.Recordset().FindFirst(criterio);
        existe = !datcan.Recordset().NoMatch();
    }
    if (existe)
        return QStringLiteral("Ya existe un CD con la clave %1.").arg(clave);
    return QString();
}

void frmcatalogo::grabar()
{
    const QString clave = txtclacd->text();
    if (clave.isEmpty() || txtnomcd->text().isEmpty() || txtdes->toPlainText().isEmpty()
        || !isNumericText(clave)) {
        MessageBoxes::instance().error(this, textoGrabarSinDatos);
        return;
    }
    const auto leida = claveParaGrabar();
    if (const auto* motivo = std::get_if<QString>(&leida)) {
        MessageBoxes::instance().error(this, *motivo);
        return;
    }
    const qint64 id = std::get<qint64>(leida);
    // A value shown from a file made by other means may break the rules; it is not
    // stored again.
    QStringList valores;
    for (int i = 0; i < numeroDeTextos; ++i) {
        valores << valorAGuardar(i, textoDe(i));
        if (valores.last().isEmpty() && isRequired(columnaDe(i))) {
            MessageBoxes::instance().error(this, textoGrabarSinDatos);
            return;
        }
        const QString problema = textProblem(columnaDe(i), valores.last());
        if (!problema.isEmpty()) {
            QString nombre = textName(columnaDe(i), i - 2);
            nombre[0] = nombre[0].toUpper();
            MessageBoxes::instance().error(
                this, QStringLiteral("No se ha grabado el CD.\r%1 %2.").arg(nombre, problema));
            return;
        }
    }
    try {
        const QString motivo = motivoParaNoGrabar(id);
        if (!motivo.isEmpty()) {
            MessageBoxes::instance().error(this, motivo);
            return;
        }
        TransactionGuard transaccion(datcd, &datcan);
        Recordset& cd = datcd.Recordset();
        Recordset& can = datcan.Recordset();
        cd.AddNew();
        can.AddNew();
        const QVariant valorId = QVariant::fromValue(id);
        cd.Collect(QStringLiteral("id"), valorId);
        cd.Collect(QStringLiteral("nombre"), valores[0]);
        cd.Collect(QStringLiteral("artista"), valores[1]);
        cd.Collect(QStringLiteral("descripcion"), valores[2]);
        cd.Update();
        can.Collect(QStringLiteral("id"), valorId);
        for (int n = 1; n <= numeroDeCanciones; ++n)
            can.Collect(QStringLiteral("cancion%1").arg(n), valores[2 + n]);
        can.Update();
        transaccion.commit();
    } catch (const DataError& e) {
        MessageBoxes::instance().error(
            this, QStringLiteral("No se ha grabado el CD.\r") + e.description);
    }
}

frmcatalogo::ValoresCd frmcatalogo::leerGuardado(Recordset* cd, Recordset* canciones)
{
    ValoresCd valores;
    valores.id = (cd ? cd : canciones)->Fields(QStringLiteral("id")).Value();
    for (const char* columna : { "nombre", "artista", "descripcion" })
        valores.textos << (cd ? cd->Fields(QLatin1String(columna)).text() : QString());
    for (int n = 1; n <= numeroDeCanciones; ++n)
        valores.textos << (canciones ? canciones->Fields(QStringLiteral("cancion%1").arg(n)).text()
                                     : QString());
    return valores;
}

void frmcatalogo::eliminar()
{
    const QString clave = txtclacd->text();
    try {
        if (clave.isEmpty() || txtnomcd->text().isEmpty() || txtdes->toPlainText().isEmpty()
            || datcd.Recordset().RecordCount() == 0) {
            MessageBoxes::instance().error(this, textoEliminarSinDatos);
            return;
        }
        if (!MessageBoxes::instance().confirm(this, textoConfirmarEliminar))
            return;
        // The CD shown, by its stored key; a key typed and never shown is read as the
        // look-up reads it.
        const StoredNumber id
            = m_claveMostrada ? *m_claveMostrada : StoredNumber(leadingNumber(clave));
        const QString criterio = criterioId(id);
        for (;;) {
            ValoresCd guardado;
            bool eliminado = false, cancionesEliminadas = false;
            {
                // Compared and deleted under one write lock: no other program changes
                // the CD in between.
                TransactionGuard transaccion(datcd, &datcan);
                datcd.Refresh();
                datcan.Refresh();
                Recordset& cd = datcd.Recordset();
                Recordset& can = datcan.Recordset();
                cd.FindFirst(criterio);
                can.FindFirst(criterio);
                const bool hayCd = !cd.NoMatch(), hayCanciones = !can.NoMatch();
                if (!hayCd && !hayCanciones)
                    return;
                guardado = leerGuardado(hayCd ? &cd : nullptr, hayCanciones ? &can : nullptr);
                if (muestranLosCuadros(guardado)) {
                    if (hayCd)
                        cd.Delete();
                    if (hayCanciones)
                        can.Delete();
                    transaccion.commit();
                    eliminado = true;
                    cancionesEliminadas = hayCanciones;
                }
            }
            if (eliminado && !cancionesEliminadas)
                return; // only a deleted songs row clears the boxes
            if (eliminado)
                break;
            // Never delete what the user has not seen: show it and ask again.
            mostrarCd(guardado);
            if (!MessageBoxes::instance().confirm(this, textoCdCambiado))
                return;
        }
        datcan.Refresh();
    } catch (const DataError& e) {
        MessageBoxes::instance().error(
            this, QStringLiteral("No se ha eliminado el CD.\r") + e.description);
        return;
    }
    limpiar_textos();
}

}
