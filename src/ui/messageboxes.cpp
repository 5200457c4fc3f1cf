#include "messageboxes.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <utility>

namespace velmor {

namespace {

    void show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
        bool* yes = nullptr)
    {
        QMessageBox box(icon, title, displayText(text), buttons, parent);
        box.setDefaultButton(defaultButton);
        // Set here rather than left to Qt's translations, which may not be installed.
        const std::pair<QMessageBox::StandardButton, const char*> texts[]
            = { { QMessageBox::Yes, "&Sí" }, { QMessageBox::No, "&No" },
                  { QMessageBox::Ok, "Aceptar" } };
        for (const auto& [button, label] : texts)
            if (QAbstractButton* shown = box.button(button))
                shown->setText(QString::fromUtf8(label));
        box.setTextFormat(Qt::PlainText);
        const int answer = box.exec();
        if (yes)
            *yes = answer == QMessageBox::Yes;
    }

    class WidgetMessageBoxes final : public MessageBoxes {
    public:
        void information(QWidget* parent, const QString& title, const QString& text) override
        {
            show(parent, QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::Ok);
        }
        void error(QWidget* parent, const QString& text) override
        {
            show(parent, QMessageBox::Warning, QStringLiteral("ERROR"), text, QMessageBox::Ok,
                QMessageBox::Ok);
        }
        bool confirm(QWidget* parent, const QString& text) override
        {
            bool yes = false;
            show(parent, QMessageBox::Question, QStringLiteral("CONFIRMAR"), text,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, &yes);
            return yes;
        }
        void failure(QWidget* parent, const QString& text) override
        {
            show(parent, QMessageBox::NoIcon, QStringLiteral("velmor"), text, QMessageBox::Ok,
                QMessageBox::Ok);
        }
    };

    WidgetMessageBoxes widgetBoxes;
    MessageBoxes* current = &widgetBoxes;

}

MessageBoxes& MessageBoxes::instance() { return *current; }

void MessageBoxes::setInstance(MessageBoxes* boxes) { current = boxes ? boxes : &widgetBoxes; }

QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    return shown;
}

}
