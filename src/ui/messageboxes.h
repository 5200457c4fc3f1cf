#pragma once

#include <QString>

class QWidget;

namespace velmor {

// The one place that shows message boxes. Lines of a message are separated by a
// lone carriage return; the boxes show them on separate lines. Tests install a
// scripted implementation with setInstance().
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Information icon, OK only (the About box).
    virtual void information(QWidget* parent, const QString& title, const QString& text) = 0;
    // Exclamation icon, OK only, titled "ERROR".
    virtual void error(QWidget* parent, const QString& text) = 0;
    // Question icon, Yes and No with Yes the default, titled "CONFIRMAR". True for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // No icon, OK only, titled with the application's title "velmor".
    virtual void failure(QWidget* parent, const QString& text) = 0;

    static MessageBoxes& instance();
    // Installs another implementation (nullptr restores the real one); not owned.
    static void setInstance(MessageBoxes* boxes);
};

// Message text with carriage returns turned into the line breaks a box displays.
QString displayText(const QString& text);

}
