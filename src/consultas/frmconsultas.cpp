#include "frmconsultas.h"

#include "catalogo/frmcatalogo.h"
#include "data/catalogfile.h"
#include "data/dataerror.h"
#include "data/statements.h"
#include "ui/formhost.h"
#include "ui/loaderror.h"
#include "ui/messageboxes.h"
#include "ui/rowheightdelegate.h"
#include "ui/twips.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStringListModel>
#include <utility>

namespace velmor {

namespace {

    const QString criterioIdTexto = QStringLiteral("Id");
    const QString criterioNombreTexto = QStringLiteral("Nombre");
    const QString criterioArtistaTexto = QStringLiteral("Artista");
    const QString criterioCancionTexto = QStringLiteral("Canción");

    constexpr int operadores = 6;
    // Song searches with more matching rows than this list their CDs from one pass
    // over the CD table instead of one search per row.
    constexpr qsizetype busquedasSueltas = 64;

    QPushButton* crearBoton(
        const char* nombre, const QString& texto, QWidget* contenedor, const QRect& geometria)
    {
        auto* boton = new QPushButton(texto, contenedor);
        boton->setObjectName(QLatin1String(nombre));
        boton->setGeometry(geometria);
        // A button clicks on Enter while it has the focus; the form is no dialog, so
        // no button is its default and takes Enter pressed in another control.
        boton->setAutoDefault(true);
        boton->setDefault(false);
        return boton;
    }

}

frmconsultas::frmconsultas(FormHost* host, QWidget* parent)
    : QWidget(parent)
    , m_host(host)
{
    setObjectName(QStringLiteral("frmconsultas"));
    setWindowTitle(QStringLiteral("Consultas"));
    setFixedSize(twips::size(8880, 4590));
    crearControles();
    ajustarLetra();
}

void frmconsultas::ajustarLetra()
{
    // The layout was drawn for a small, narrow font. Where the platform's default is
    // wider, the form's font shrinks until every label fits the place it was given.
    const QList<QLabel*> etiquetas = findChildren<QLabel*>();
    const auto caben = [&](const QFont& letra) {
        const QFontMetrics medidas(letra);
        for (const QLabel* etiqueta : etiquetas) {
            const QRect espacio(QPoint(), etiqueta->size());
            const int ajuste = etiqueta->wordWrap() ? Qt::TextWordWrap : 0;
            const QRect texto = medidas.boundingRect(
                QRect(0, 0, espacio.width(), 10 * espacio.height()), ajuste, etiqueta->text());
            if (texto.width() > espacio.width() || texto.height() > espacio.height())
                return false;
        }
        return true;
    };
    QFont letra = font();
    while (!caben(letra) && letra.pointSizeF() > 6)
        letra.setPointSizeF(letra.pointSizeF() - 0.5);
    setFont(letra);
}

frmconsultas::~frmconsultas() = default;

QLabel* frmconsultas::crearEtiqueta(const char* nombre, const QString& texto, QWidget* contenedor,
    const QRect& geometria, bool centrada)
{
    auto* etiqueta = new QLabel(texto, contenedor);
    etiqueta->setObjectName(QLatin1String(nombre));
    etiqueta->setGeometry(geometria);
    QPalette colores = etiqueta->palette();
    colores.setColor(QPalette::WindowText, QColor(128, 64, 0));
    etiqueta->setPalette(colores);
    if (centrada)
        etiqueta->setAlignment(Qt::AlignCenter);
    return etiqueta;
}

QListView* frmconsultas::crearLista(
    const char* nombre, QAbstractItemModel* modelo, const QRect& geometria)
{
    auto* lista = new QListView(this);
    lista->setObjectName(QLatin1String(nombre));
    lista->setGeometry(geometria);
    lista->setModel(modelo);
    lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lista->setSelectionMode(QAbstractItemView::SingleSelection);
    // Without uniform sizes the view measures every row, which costs seconds once
    // the whole catalogue is listed.
    lista->setUniformItemSizes(true);
    lista->setItemDelegate(new RowHeightDelegate(lista));
    lista->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return lista;
}

void frmconsultas::crearControles()
{
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(QStringLiteral("Consulta"));
    Frame1->setGeometry(twips::rect(0, 0, 8865, 1365));

    Label1 = crearEtiqueta(
        "Label1", QStringLiteral("Consultar por"), Frame1, twips::rect(75, 450, 990, 240));
    cbocriterios = new QComboBox(Frame1);
    cbocriterios->setObjectName(QStringLiteral("cbocriterios"));
    cbocriterios->setGeometry(twips::rect(1125, 450, 2340, 315));
    cbocriterios->setEditable(false);

    Label2 = crearEtiqueta(
        "Label2", QStringLiteral("Cadena a buscar"), Frame1, twips::rect(75, 900, 1215, 240));
    txtcadena = new QLineEdit(Frame1);
    txtcadena->setObjectName(QStringLiteral("txtcadena"));
    txtcadena->setGeometry(twips::rect(1350, 900, 2940, 285));
    txtcadena->setMaxLength(30);
    txtcadena->installEventFilter(this);

    Label3 = crearEtiqueta(
        "Label3", QStringLiteral("Guía para buscar"), Frame1, twips::rect(4575, 525, 765, 390));
    Label3->setWordWrap(true);
    List1 = new QListWidget(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twips::rect(5475, 300, 1290, 840));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);

    btntodos = crearBoton(
        "btntodos", QStringLiteral("&Todos"), Frame1, twips::rect(7425, 225, 1100, 255));
    btnbuscar = crearBoton(
        "btnbuscar", QStringLiteral("&Buscar"), Frame1, twips::rect(7425, 600, 1100, 255));
    btnregresar = crearBoton(
        "btnregresar", QStringLiteral("&Regresar"), Frame1, twips::rect(7425, 975, 1100, 255));

    Label4 = crearEtiqueta(
        "Label4", QStringLiteral("ID"), this, twips::rect(225, 1500, 555, 240), true);
    Label5 = crearEtiqueta(
        "Label5", QStringLiteral("NOMBRE"), this, twips::rect(975, 1500, 2430, 240), true);
    Label6 = crearEtiqueta(
        "Label6", QStringLiteral("ARTISTA"), this, twips::rect(3600, 1500, 2430, 240), true);
    Label8 = crearEtiqueta(
        "Label8", QStringLiteral("CANCIONES"), this, twips::rect(6225, 1500, 2355, 240), true);

    m_ids = new TextListModel(this);
    m_nombres = new TextListModel(this);
    m_artistas = new TextListModel(this);
    m_canciones = new QStringListModel(this);
    List2 = crearLista("List2", m_ids, twips::rect(150, 1800, 650, 1620));
    // Once a scroll bar narrows it, the column holds about three digits; a longer key
    // is cut at the edge, its first digits kept, rather than shortened to "3…".
    List2->setTextElideMode(Qt::ElideNone);
    List3 = crearLista("List3", m_nombres, twips::rect(900, 1800, 2500, 1620));
    List4 = crearLista("List4", m_artistas, twips::rect(3525, 1800, 2500, 1620));
    List5 = crearLista("List5", m_canciones, twips::rect(6150, 1800, 2500, 1620));

    Label7 = crearEtiqueta(
        "Label7", QStringLiteral("DESCRIPCIÓN"), this, twips::rect(375, 3525, 7965, 240), true);
    txtdescripcion = new QPlainTextEdit(this);
    txtdescripcion->setObjectName(QStringLiteral("txtdescripcion"));
    txtdescripcion->setGeometry(twips::rect(375, 3825, 8040, 690));
    txtdescripcion->setReadOnly(true);
    txtdescripcion->setTextInteractionFlags(
        Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtdescripcion->setTabChangesFocus(true);
    txtdescripcion->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtdescripcion->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // A screen reader announces each box and list by its label or heading.
    const std::pair<QLabel*, QWidget*> rotulos[] = {
        { Label1, cbocriterios },
        { Label2, txtcadena },
        { Label3, List1 },
        { Label4, List2 },
        { Label5, List3 },
        { Label6, List4 },
        { Label8, List5 },
        { Label7, txtdescripcion },
    };
    for (const auto& [etiqueta, control] : rotulos) {
        etiqueta->setBuddy(control);
        control->setAccessibleName(etiqueta->text());
    }

    QWidget* const orden[] = { cbocriterios, txtcadena, btnbuscar, List1, btnregresar, List2, List3,
        List4, txtdescripcion, List5, btntodos };
    for (std::size_t i = 1; i < std::size(orden); ++i)
        setTabOrder(orden[i - 1], orden[i]);
    // Whoever shows or activates the form gives the focus to the criterion.
    setFocusProxy(cbocriterios);

    // The three result lists are one table: scrolling any of them, by wheel, keys
    // or scroll bar, scrolls the other two to the same row.
    for (QListView* lista : { List2, List3, List4 })
        connect(lista->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int valor) {
            for (QListView* otra : { List2, List3, List4 })
                otra->verticalScrollBar()->setValue(valor);
        });

    connect(btnbuscar, &QPushButton::clicked, this, &frmconsultas::btnbuscar_Click);
    connect(btntodos, &QPushButton::clicked, this, &frmconsultas::btntodos_Click);
    connect(btnregresar, &QPushButton::clicked, this, &frmconsultas::btnregresar_Click);
    connect(List2->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &frmconsultas::List2_Click);
    connect(List3->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &frmconsultas::List3_Click);
    connect(List4->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &frmconsultas::List4_Click);
}

bool frmconsultas::Form_Load()
{
    // What the lists show of the CDs a search finds, and what finds the CDs of the
    // song rows a search finds: read with the rows, each row is read once.
    datcd.setListedColumns(columnasListadas());
    datcan.setListedColumns({ QStringLiteral("id") });
    try {
        for (auto [origen, tabla] :
            { std::pair { &datcd, tablaDatosCd }, std::pair { &datcan, tablaCanciones } }) {
            origen->setDatabaseName(CatalogFile::path());
            origen->setRecordSource(QLatin1String(tabla));
            origen->Refresh();
            auto& rs = origen->Recordset();
            if (rs.RecordCount() != 0) {
                rs.MoveLast();
                rs.MoveFirst();
            }
        }
    } catch (const DataError& e) {
        MessageBoxes::instance().error(this, loadErrorText(e));
        return false;
    }

    cbocriterios->clear();
    cbocriterios->addItems(
        { criterioIdTexto, criterioNombreTexto, criterioArtistaTexto, criterioCancionTexto });
    cbocriterios->setCurrentIndex(0);
    List1->clear();
    List1->addItems({ QStringLiteral("=="), QStringLiteral("<>"), QStringLiteral("<"),
        QStringLiteral("<="), QStringLiteral(">"), QStringLiteral(">=") });
    List1->setCurrentRow(0);
    return true;
}

void frmconsultas::limpiar_textos()
{
    m_claves.clear();
    m_ids->clear();
    m_nombres->clear();
    m_artistas->clear();
    m_canciones->setStringList({});
    txtdescripcion->setPlainText(QString());
}

void frmconsultas::Claves::clear()
{
    m_enteros.clear();
    m_otras.clear();
}

void frmconsultas::Claves::agregar(const std::optional<StoredNumber>& clave)
{
    const qint64* entero = clave ? std::get_if<qint64>(&*clave) : nullptr;
    if (!entero)
        m_otras.insert(m_enteros.size(), clave);
    m_enteros << (entero ? *entero : 0);
}

std::optional<StoredNumber> frmconsultas::Claves::value(qsizetype fila) const
{
    if (fila < 0 || fila >= m_enteros.size())
        return std::nullopt;
    const auto otra = m_otras.constFind(fila);
    return otra != m_otras.cend() ? *otra : std::optional<StoredNumber>(m_enteros[fila]);
}

void frmconsultas::leerFila(Recordset& rs, Filas& filas)
{
    // All three are read before any is added, so a failure leaves the three lists
    // with equal numbers of rows.
    const Field id = rs.Fields(QStringLiteral("id"));
    const QString nombre = rs.Fields(QStringLiteral("nombre")).text();
    const QString artista = rs.Fields(QStringLiteral("artista")).text();
    filas.ids.append(id.text().toUtf8());
    filas.claves.agregar(storedNumber(id.Value()));
    filas.nombres.append(nombre.toUtf8());
    filas.artistas.append(artista.toUtf8());
}

const QStringList& frmconsultas::columnasListadas()
{
    static const QStringList columnas
        = { QStringLiteral("id"), QStringLiteral("nombre"), QStringLiteral("artista") };
    return columnas;
}

qsizetype frmconsultas::leerFilas(Recordset& rs, qsizetype limite, Filas& filas)
{
    const QStringList& columnas = columnasListadas();
    const qsizetype esperadas = std::min(limite < 0 ? rs.RecordCount() : limite, rs.RecordCount());
    for (PackedTexts* lista : { &filas.ids, &filas.nombres, &filas.artistas })
        lista->reserve(lista->size() + esperadas);
    filas.claves.reserve(filas.claves.size() + esperadas);
    QByteArray texto;
    return rs.readOnwardViews(columnas, limite, [&](const ValueView* valores) {
        filas.ids.append(valueTextUtf8(valores[0], texto));
        filas.claves.agregar(storedNumber(valores[0].toVariant()));
        filas.nombres.append(valueTextUtf8(valores[1], texto));
        filas.artistas.append(valueTextUtf8(valores[2], texto));
    });
}

void frmconsultas::agregarFilas(Filas& filas)
{
    if (filas.ids.isEmpty())
        return;
    // Every listing starts from lists emptied by limpiar_textos.
    m_claves = std::move(filas.claves);
    m_ids->setRows(std::exchange(filas.ids, {}));
    m_nombres->setRows(std::exchange(filas.nombres, {}));
    m_artistas->setRows(std::exchange(filas.artistas, {}));
}

void frmconsultas::llenar_textos(qint64 item)
{
    if (item != 1 && item != 2)
        return;

    Filas filas;
    try {
        auto& cds = datcd.Recordset();
        auto& canciones = datcan.Recordset();
        if (item == 1) {
            // datcan holds every CD here, so its count bounds any CD result; running
            // past the result's last row ends the listing with no current record.
            const qsizetype n = canciones.RecordCount();
            if (leerFilas(cds, n, filas) < n)
                throw noCurrentRecord();
        } else {
            cdsDeCanciones(cds, canciones, filas);
        }
    } catch (const DataError&) {
        agregarFilas(filas);
        throw;
    }
    agregarFilas(filas);
}

void frmconsultas::cdsDeCanciones(Recordset& cds, Recordset& canciones, Filas& filas)
{
    // The first song row is read even when the count is 0, so that a song search
    // without results ends with no current record like any other listing.
    const qsizetype n = std::max<qsizetype>(canciones.RecordCount(), 1);
    // A song row whose id is no number has no CD: nothing stored finds it.
    const auto idCancion
        = [&] { return storedNumber(canciones.Fields(QStringLiteral("id")).Value()); };

    // A search by id is a look-up in the key; reading every CD pays off only when
    // the song rows are a large share of the catalogue.
    if (n <= busquedasSueltas || n * 8 <= cds.RecordCount()) {
        for (qsizetype i = 0; i < n; ++i, canciones.MoveNext()) {
            const auto id = idCancion();
            bool hallado = false;
            if (id) {
                cds.FindFirst(criterioId(*id));
                hallado = !cds.NoMatch();
            }
            if (hallado)
                leerFila(cds, filas);
            else if (i == 0)
                return;
        }
        return;
    }

    // One pass over the CDs costs less than a search per song row once there are
    // many rows; the first CD with an id stands for it, as FindFirst would find it.
    const auto clave
        = [](const std::optional<StoredNumber>& id) { return id ? numberText(*id) : QString(); };
    if (!idCancion())
        return;
    Filas todos;
    QHash<QString, qsizetype> posicion;
    if (cds.RecordCount() != 0) {
        cds.MoveFirst();
        leerFilas(cds, -1, todos);
        for (qsizetype i = todos.claves.size() - 1; i >= 0; --i)
            if (const QString id = clave(todos.claves.value(i)); !id.isEmpty())
                posicion.insert(id, i);
    }
    const auto cd = [&](const QVariant& id) { return posicion.constFind(clave(storedNumber(id))); };
    if (cd(canciones.Fields(QStringLiteral("id")).Value()) == posicion.cend())
        return;
    const qsizetype leidas
        = canciones.readOnward({ QStringLiteral("id") }, n, [&](const QVariant* valores) {
              const auto encontrado = cd(valores[0]);
              if (encontrado == posicion.cend())
                  return;
              filas.claves.agregar(todos.claves.value(*encontrado));
              filas.ids.append(todos.ids, *encontrado);
              filas.nombres.append(todos.nombres, *encontrado);
              filas.artistas.append(todos.artistas, *encontrado);
          });
    if (leidas < n)
        throw noCurrentRecord();
}

void frmconsultas::llenar_canciones()
{
    const auto id = m_claves.value(filaSeleccionada(List2));
    try {
        QStringList columnas;
        QString descripcion;
        // A listed id that is no number finds nothing; a CD deleted through the
        // catalogue form since it was listed has no rows left to show. Either way
        // its songs and description stay empty.
        if (id) {
            datcan.setRecordSource(cancionesDelCd(*id));
            datcan.Refresh();
        }
        auto& canciones = datcan.Recordset();
        auto& cds = datcd.Recordset();
        const auto idCanciones = id && canciones.hasCurrent()
            ? storedNumber(canciones.Fields(QStringLiteral("id")).Value())
            : std::nullopt;
        if (idCanciones) {
            cds.FindFirst(criterioId(*idCanciones));
            if (!cds.NoMatch()) {
                for (int i = 0; i < canciones.FieldsCount(); ++i)
                    columnas << canciones.Fields(i).text();
                descripcion = cds.Fields(QStringLiteral("descripcion")).text();
            }
        }
        m_canciones->setStringList(columnas);
        txtdescripcion->setPlainText(descripcion);

        datcan.setRecordSource(QLatin1String(todasLasCanciones));
        datcan.Refresh();
    } catch (const DataError& e) {
        mostrarError(e);
    }
}

void frmconsultas::btnbuscar_Click()
{
    // A missing current record only abandons the step it happened in; any other
    // failure is shown and ends the search.
    const auto paso = [this](auto&& accion) {
        try {
            accion();
            return true;
        } catch (const DataError& e) {
            if (e.number == ErrorNumber::NoCurrentRecord)
                return true;
            MessageBoxes::instance().failure(this,
                QStringLiteral("Error # ") + QString::number(e.number) + QLatin1Char('\r')
                    + e.description);
            return false;
        }
    };
    const QString criterio = cbocriterios->currentText();
    const QString valor = txtcadena->text();
    const int indice = filaSeleccionada(List1);
    const bool hayOperador = indice >= 0 && indice < operadores;
    const auto op = static_cast<Operador>(indice);
    const bool porCd = criterio == criterioIdTexto || criterio == criterioNombreTexto
        || criterio == criterioArtistaTexto;
    const bool porCancion = criterio == criterioCancionTexto;

    // Walking to the last row only makes the count exact; a set that the search
    // binds anew right after is never counted, so it is not walked.
    const auto reiniciar = [&](RecordSource& origen, bool seRelee) {
        if (!paso([&] { origen.setRecordSource(QLatin1String(todosLosCd)); })
            || !paso([&] { origen.Refresh(); }))
            return false;
        if (seRelee)
            return true;
        return paso([&] { origen.Recordset().MoveLast(); })
            && paso([&] { origen.Recordset().MoveFirst(); });
    };

    qint64 item = 0;
    if (!paso([this] { limpiar_textos(); }) || !reiniciar(datcd, porCd && hayOperador)
        || !reiniciar(datcan, porCancion && hayOperador))
        return;

    if (porCd) {
        if (hayOperador) {
            const QString consulta = criterio == criterioIdTexto ? consultaPorId(op, valor)
                : criterio == criterioNombreTexto                ? consultaPorNombre(op, valor)
                                                                 : consultaPorArtista(op, valor);
            if (!paso([&] { datcd.setRecordSource(consulta); }) || !paso([&] { datcd.Refresh(); })
                || !paso([&] { datcd.Recordset().MoveLast(); })
                || !paso([&] { datcd.Recordset().MoveFirst(); }))
                return;
        }
        item = 1;
    } else if (porCancion) {
        if (hayOperador) {
            if (!paso([&] { datcan.setRecordSource(consultaPorCancion(op, valor)); })
                || !paso([&] { datcan.Refresh(); }) || !paso([&] {
                       auto& rs = datcan.Recordset();
                       if (rs.RecordCount() != 0) {
                           rs.MoveLast();
                           rs.MoveFirst();
                       }
                   }))
                return;
        }
        item = 2;
    }

    paso([&] { llenar_textos(item); });
}

void frmconsultas::btntodos_Click()
{
    limpiar_textos();
    Filas filas;
    try {
        datcd.setRecordSource(QLatin1String(todosLosCd));
        datcd.Refresh();
        auto& cds = datcd.Recordset();
        if (cds.RecordCount() == 0)
            return;
        cds.MoveLast();
        cds.MoveFirst();
        const qsizetype n = cds.RecordCount();
        if (leerFilas(cds, n, filas) < n)
            throw noCurrentRecord();
    } catch (const DataError& e) {
        agregarFilas(filas);
        mostrarError(e);
        return;
    }
    agregarFilas(filas);
}

void frmconsultas::btnregresar_Click()
{
    if (m_host) {
        try {
            if (auto* catalogo = m_host->catalogoCargado())
                catalogo->limpiar_textos();
        } catch (const DataError& e) {
            mostrarError(e);
        }
    }
    emit closeRequested();
}

int frmconsultas::filaSeleccionada(const QListView* lista)
{
    const QModelIndexList filas = lista->selectionModel()->selectedRows();
    return filas.isEmpty() ? -1 : filas.first().row();
}

void frmconsultas::seleccionarFila(QListView* lista, int fila)
{
    const QScopedValueRollback guarda(m_sincronizando, true);
    const QModelIndex indice = lista->model()->index(fila, 0);
    lista->selectionModel()->setCurrentIndex(indice, QItemSelectionModel::ClearAndSelect);
    lista->scrollTo(indice);
}

void frmconsultas::List2_Click()
{
    const int fila = filaSeleccionada(List2);
    if (m_sincronizando || fila < 0)
        return;
    seleccionarFila(List3, fila);
    seleccionarFila(List4, fila);
    llenar_canciones();
}

void frmconsultas::List3_Click()
{
    const int fila = filaSeleccionada(List3);
    if (m_sincronizando || fila < 0)
        return;
    seleccionarFila(List2, fila);
    seleccionarFila(List4, fila);
    llenar_canciones();
}

void frmconsultas::List4_Click()
{
    const int fila = filaSeleccionada(List4);
    if (m_sincronizando || fila < 0)
        return;
    seleccionarFila(List2, fila);
    seleccionarFila(List3, fila);
    llenar_canciones();
}

void frmconsultas::txtcadena_KeyPress(int& KeyAscii)
{
    if (KeyAscii == 13)
        btnbuscar_Click();
}

bool frmconsultas::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtcadena && event->type() == QEvent::KeyPress) {
        const auto* tecla = static_cast<QKeyEvent*>(event);
        int codigo = 0;
        if (tecla->key() == Qt::Key_Return || tecla->key() == Qt::Key_Enter)
            codigo = 13;
        else if (!tecla->text().isEmpty())
            codigo = tecla->text().at(0).unicode();
        if (codigo != 0)
            txtcadena_KeyPress(codigo);
    }
    // The key still reaches the box, Enter included.
    return QWidget::eventFilter(watched, event);
}

void frmconsultas::mostrarError(const DataError& e)
{
    MessageBoxes::instance().error(this, e.description);
}

}
