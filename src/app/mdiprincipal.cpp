#include "mdiprincipal.h"

#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "ui/fuentes.h"
#include "ui/messageboxes.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QLibraryInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSessionManager>
#include <QTranslator>

namespace velmor {

namespace {
    const QString tituloPrincipal = QStringLiteral("Tolvane - Catálogo de CD's");
    const QString preguntaSalir = QStringLiteral("¿Desea finalizar la aplicación?");
}

mdiprincipal::mdiprincipal(QWidget* parent)
    : QMainWindow(parent)
    , m_workspace(new QMdiArea(this))
{
    setObjectName(QStringLiteral("mdiprincipal"));
    setWindowTitle(tituloPrincipal);
    m_workspace->setObjectName(QStringLiteral("workspace"));
    // On a screen too small for a form at its fixed size, the workspace scrolls.
    m_workspace->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_workspace->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_workspace);
    createActions();
    createMenus();
    connect(qApp, &QGuiApplication::commitDataRequest, this, &mdiprincipal::commitData);
    qApp->installEventFilter(this);
}

mdiprincipal::~mdiprincipal() = default;

void mdiprincipal::createActions()
{
    auto make = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        return action;
    };
    acercade = make("acercade", QStringLiteral("Acerca de..."), QKeySequence(Qt::Key_F1));
    salir = make("salir", QStringLiteral("Sa&lir"), QKeySequence(Qt::CTRL | Qt::Key_L));
    catalogo
        = make("catalogo", QStringLiteral("C&atálogo de CD's"), QKeySequence(Qt::CTRL | Qt::Key_A));
    consultas = make("consultas", QStringLiteral("C&onsultas"), QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(acercade, &QAction::triggered, this, &mdiprincipal::acercade_Click);
    connect(salir, &QAction::triggered, this, &QWidget::close);
    connect(catalogo, &QAction::triggered, this, [this] { showCatalogo(); });
    connect(consultas, &QAction::triggered, this, [this] { showConsultasForm(); });
}

void mdiprincipal::createMenus()
{
    QMenu* sistema = menuBar()->addMenu(QStringLiteral("&Sistema"));
    sistema->setObjectName(QStringLiteral("sistema"));
    sistema->addAction(acercade);
    sistema->addSeparator()->setObjectName(QStringLiteral("sep1"));
    sistema->addAction(salir);
    QMenu* opciones = menuBar()->addMenu(QStringLiteral("&Opciones"));
    opciones->setObjectName(QStringLiteral("opciones"));
    opciones->addAction(catalogo);
    opciones->addAction(consultas);
}

QString mdiprincipal::aboutText()
{
    const QChar cr(13);
    return QStringLiteral("Tolvane") + cr + QStringLiteral("Programa elaborado por:") + cr
        + QStringLiteral("Ing. Marta Velasco Ortiz") + cr
        + QStringLiteral("E-mail: marta.velasco@example.com") + cr
        + QStringLiteral("Home Page: https://www.example.org/velmor") + cr;
}

void mdiprincipal::acercade_Click()
{
    MessageBoxes::instance().information(this, QStringLiteral("Acerca de..."), aboutText());
}

QMdiSubWindow* mdiprincipal::addChild(QWidget* form)
{
    auto* window = m_workspace->addSubWindow(form,
        Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(form->windowIcon().isNull() ? windowIcon() : form->windowIcon());
    window->setOption(QMdiSubWindow::RubberBandResize, false);
    window->layout()->setSizeConstraint(QLayout::SetFixedSize);
    window->show();
    m_workspace->setActiveSubWindow(window);
    // Each form hands the focus on to its first control.
    form->setFocus();
    return window;
}

template <typename Form> Form* mdiprincipal::showForm(QPointer<QMdiSubWindow>& window)
{
    if (window) {
        window->showNormal();
        m_workspace->setActiveSubWindow(window);
        return qobject_cast<Form*>(window->widget());
    }
    auto* form = new Form(this);
    if (!form->Form_Load()) {
        delete form;
        return nullptr;
    }
    window = addChild(form);
    connect(form, &Form::closeRequested, window, &QWidget::close);
    return form;
}

frmcatalogo* mdiprincipal::showCatalogo() { return showForm<frmcatalogo>(m_catalogoWindow); }

frmconsultas* mdiprincipal::showConsultasForm()
{
    return showForm<frmconsultas>(m_consultasWindow);
}

frmcatalogo* mdiprincipal::catalogoForm() const
{
    return m_catalogoWindow ? qobject_cast<frmcatalogo*>(m_catalogoWindow->widget()) : nullptr;
}

frmconsultas* mdiprincipal::consultasForm() const
{
    return m_consultasWindow ? qobject_cast<frmconsultas*>(m_consultasWindow->widget()) : nullptr;
}

void mdiprincipal::showConsultas() { showConsultasForm(); }

frmcatalogo* mdiprincipal::catalogoCargado()
{
    if (auto* form = catalogoForm())
        return form;
    return showCatalogo();
}

bool mdiprincipal::eventFilter(QObject* watched, QEvent* event)
{
    // Text boxes claim Ctrl+A (select all) and other keys before the menu sees
    // them; the menu's shortcuts work from every box of both forms.
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : { acercade, salir, catalogo, consultas })
            if (action->shortcut() == pressed && isAncestorOf(qobject_cast<QWidget*>(watched)))
                return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void mdiprincipal::closeEvent(QCloseEvent* event)
{
    if (m_exitConfirmed || MessageBoxes::instance().confirm(this, preguntaSalir)) {
        m_exitConfirmed = true;
        event->accept();
        QCoreApplication::quit();
        return;
    }
    event->ignore();
}

void mdiprincipal::commitData(QSessionManager& manager)
{
    if (m_exitConfirmed || !manager.allowsInteraction())
        return;
    const bool yes = MessageBoxes::instance().confirm(this, preguntaSalir);
    manager.release();
    if (yes)
        m_exitConfirmed = true;
    else
        manager.cancel();
}

void setUpApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tolvane"));
    QCoreApplication::setApplicationName(QStringLiteral("velmor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMOR_VERSION));
    // The window then matches its menu entry, com.tolvane.velmor.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tolvane.velmor"));
    // No display name: the platform would append it to every window title. A message
    // box without a title of its own still shows the application name.
    QIcon icon;
    icon.addFile(QStringLiteral(":/velmor/velmor-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/velmor/velmor-16.png"), QSize(16, 16));
    QApplication::setWindowIcon(icon);
    // The forms are laid out for a classic 8-point sans serif with Arial's widths.
    QFont font(QStringLiteral("Arial"), 8);
    font.setFamilies(
        familiasInstaladas({ QStringLiteral("Arial"), QStringLiteral("Liberation Sans") }));
    QApplication::setFont(font);
    // Qt's own Spanish texts, where installed, name the entries of the boxes' context
    // menus; the message boxes set their button texts themselves.
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

}
