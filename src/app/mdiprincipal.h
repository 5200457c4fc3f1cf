#pragma once

#include "ui/formhost.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QSessionManager;

namespace velmor {

class frmcatalogo;
class frmconsultas;

// The main window: a workspace holding the catalogue form and the query form (one
// instance each), the menus, the About box and the confirmed exit.
class mdiprincipal : public QMainWindow, public FormHost {
    Q_OBJECT
public:
    explicit mdiprincipal(QWidget* parent = nullptr);
    ~mdiprincipal() override;

    // Shows the form, loading it first when it is closed; nullptr when it could not load.
    frmcatalogo* showCatalogo();
    frmconsultas* showConsultasForm();

    frmcatalogo* catalogoForm() const;
    frmconsultas* consultasForm() const;
    QMdiArea* workspace() const { return m_workspace; }

    void showConsultas() override;
    frmcatalogo* catalogoCargado() override;

    void acercade_Click();

    // The About box's text: five lines, each ended by a carriage return.
    static QString aboutText();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    QMdiSubWindow* addChild(QWidget* form);
    // Brings the open form forward, or loads it (nullptr when it cannot load).
    template <typename Form> Form* showForm(QPointer<QMdiSubWindow>& window);
    void commitData(QSessionManager& manager);

    QMdiArea* m_workspace;
    QPointer<QMdiSubWindow> m_catalogoWindow;
    QPointer<QMdiSubWindow> m_consultasWindow;
    QAction* acercade = nullptr;
    QAction* salir = nullptr;
    QAction* catalogo = nullptr;
    QAction* consultas = nullptr;
    bool m_exitConfirmed = false;
};

// Application name, organisation, version, icon, font and, where installed, the
// Spanish translation of Qt's own texts.
void setUpApplication();

}
