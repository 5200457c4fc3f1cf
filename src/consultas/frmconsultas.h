#pragma once

#include "consultas/textlistmodel.h"
#include "data/recordsource.h"
#include "data/valuerules.h"

#include <QHash>
#include <QWidget>

class QAbstractItemModel;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStringListModel;

namespace velmor {

class FormHost;
struct DataError;

// The query form: lists every CD or the CDs that meet one criterion in three
// parallel lists, and shows the songs and description of the CD selected there.
class frmconsultas : public QWidget {
    Q_OBJECT
public:
    explicit frmconsultas(FormHost* host, QWidget* parent = nullptr);
    ~frmconsultas() override;

    // Binds the record sources and fills the criterion and operator lists. On
    // failure shows the "ERROR" message and returns false; the form is not shown.
    bool Form_Load();

    void limpiar_textos();
    // Failures, the no-current-record one included, go back to the caller; the rows
    // read before the failure stay in the lists.
    void llenar_textos(qint64 item);
    void llenar_canciones();
    void btnbuscar_Click();
    void btntodos_Click();
    void btnregresar_Click();

    void List2_Click();
    void List3_Click();
    void List4_Click();
    void txtcadena_KeyPress(int& KeyAscii);

    RecordSource datcd;
    RecordSource datcan;

signals:
    // Asks the window that holds the form to close it (after "&Regresar").
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The id of each listed row as a number, none where the file holds no number.
    // Whole numbers, nearly every id, take 8 bytes a row; the rest are kept aside.
    class Claves {
    public:
        void reserve(qsizetype n) { m_enteros.reserve(n); }
        qsizetype size() const { return m_enteros.size(); }
        void clear();
        void agregar(const std::optional<StoredNumber>& clave);
        std::optional<StoredNumber> value(qsizetype fila) const;

    private:
        QList<qint64> m_enteros;
        QHash<qsizetype, std::optional<StoredNumber>> m_otras;
    };

    struct Filas {
        Claves claves;
        PackedTexts ids;
        PackedTexts nombres;
        PackedTexts artistas;
    };

    void crearControles();
    void ajustarLetra();
    QLabel* crearEtiqueta(const char* nombre, const QString& texto, QWidget* contenedor,
        const QRect& twips, bool centrada = false);
    QListView* crearLista(const char* nombre, QAbstractItemModel* modelo, const QRect& twips);

    static void leerFila(Recordset& rs, Filas& filas);
    // The id, name and artist of at most `limite` rows from the current one (all
    // when negative), in one pass; returns how many were read.
    static qsizetype leerFilas(Recordset& rs, qsizetype limite, Filas& filas);
    // The columns the lists show, in the lists' order.
    static const QStringList& columnasListadas();
    // The CD of each song row of canciones, in song-row order.
    static void cdsDeCanciones(Recordset& cds, Recordset& canciones, Filas& filas);
    void agregarFilas(Filas& filas);
    void seleccionarFila(QListView* lista, int fila);
    static int filaSeleccionada(const QListView* lista);
    void mostrarError(const DataError& e);

    FormHost* m_host;
    // Set while one list's handler selects the row in the other two, so that those
    // selections do not run their own handlers.
    bool m_sincronizando = false;

    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cbocriterios = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtcadena = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* btntodos = nullptr;
    QPushButton* btnbuscar = nullptr;
    QPushButton* btnregresar = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label8 = nullptr;
    QListView* List2 = nullptr;
    QListView* List3 = nullptr;
    QListView* List4 = nullptr;
    QListView* List5 = nullptr;
    QLabel* Label7 = nullptr;
    QPlainTextEdit* txtdescripcion = nullptr;

    TextListModel* m_ids = nullptr;
    Claves m_claves; // beside m_ids, row by row
    TextListModel* m_nombres = nullptr;
    TextListModel* m_artistas = nullptr;
    QStringListModel* m_canciones = nullptr;
};

}
