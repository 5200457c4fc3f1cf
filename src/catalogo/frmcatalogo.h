#pragma once

#include "data/recordsource.h"
#include "data/valuerules.h"

#include <QList>
#include <QWidget>
#include <optional>
#include <variant>

class QAction;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolBar;

namespace velmor {

class FormHost;
class LimitedLineEdit;
class LimitedPlainTextEdit;

// The catalogue form: one CD record in 24 boxes, the toolbar commands and the
// look-up while typing. (Interface agreed with the main window and the query form;
// the catalogue engineer may add members but keeps these.)
class frmcatalogo : public QWidget {
    Q_OBJECT
public:
    explicit frmcatalogo(FormHost* host, QWidget* parent = nullptr);
    ~frmcatalogo() override;

    // Binds both record sources to the catalogue file. On failure shows the
    // "ERROR" message naming the file and the problem and returns false; the
    // caller then does not show the form.
    bool Form_Load();

    void limpiar_textos();
    void llenar_textos();
    void Toolbar1_ButtonClick(int index);

    bool llenando = false;
    RecordSource datcd;
    RecordSource datcan;

signals:
    // Asks the window that holds the form to close it (the salir command).
    void closeRequested();

private:
    void crearControles();
    void crearBarra();
    void crearDatos();
    void crearCanciones();
    void fijarOrdenDeFoco();

    void txtclacd_Change();
    void txtnomcd_Change();
    void txtart_Change();
    // Shows the CD whose datos_cd row the criterion finds, when its songs row exists.
    void buscarPorTexto(const QString& criterio);

    // While the form is idle, prepares the look-ups by name and by artist for the
    // catalogue as it is now, a few milliseconds at a time: the next refresh of the
    // form's record source finds them ready (see prepararBusqueda).
    void prepararBusquedas(int demora);
    void prepararBusqueda();

    // The values of a CD as stored: the id, then the 23 texts in box order; a row
    // that is missing gives null values.
    struct ValoresCd {
        QVariant id;
        QStringList textos;
    };
    void mostrarCd(const ValoresCd& valores);
    // The rows the sets are on; null for a row that is missing.
    static ValoresCd leerGuardado(Recordset* cd, Recordset* canciones);
    QString textoDe(int texto) const;
    std::optional<QString> mostradoDe(int texto) const;
    // True when every box shows the stored value, or holds what a save would store
    // as it (a missing row: empty boxes).
    bool muestranLosCuadros(const ValoresCd& valores) const;

    void grabar();
    void eliminar();
    // The key a save stores, or the message that refuses it.
    std::variant<qint64, QString> claveParaGrabar() const;
    // Reasons a save may not go ahead, as the message to show; empty when it may.
    QString motivoParaNoGrabar(qint64 clave);

    FormHost* m_host;

    QToolBar* Toolbar1 = nullptr;
    QList<QAction*> m_botones; // index 1..9 of the toolbar at position 0..8
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    LimitedLineEdit* txtclacd = nullptr;
    LimitedLineEdit* txtnomcd = nullptr;
    LimitedLineEdit* txtart = nullptr;
    LimitedPlainTextEdit* txtdes = nullptr;
    QList<LimitedLineEdit*> txtcan; // txtcan1 .. txtcan20
    // The box whose change started the look-ups under way, if any.
    LimitedLineEdit* m_tecleado = nullptr;
    // The stored key of the CD shown, as read from its row, until the user edits the
    // key box or the boxes are cleared: delete and save act on it, never on a number
    // read again from the box.
    std::optional<StoredNumber> m_claveMostrada;
    // The catalogue's CDs as they are now, read for nothing but the preparation, and
    // how many of the columns are prepared (-1: the source is to be refreshed first).
    RecordSource m_preparada;
    int m_columnasPreparadas = -1;
    QTimer* m_preparacion = nullptr;
};

}
