#pragma once

#include "ui/messageboxes.h"

#include <QList>
#include <QString>

// Records every message box a form asks for and answers confirmations from a
// script (Yes when the script is empty).
class ScriptedMessageBoxes final : public velmor::MessageBoxes {
public:
    enum Kind { Information, Error, Confirm, Failure };
    struct Shown {
        Kind kind;
        QString title;
        QString text;
    };

    ScriptedMessageBoxes() { setInstance(this); }
    ~ScriptedMessageBoxes() override { setInstance(nullptr); }

    void information(QWidget*, const QString& title, const QString& text) override;
    void error(QWidget*, const QString& text) override;
    bool confirm(QWidget*, const QString& text) override;
    void failure(QWidget*, const QString& text) override;

    QList<Shown> shown;
    QList<bool> answers;

    // Texts of the messages shown, in order; clears the record.
    QStringList take();
};
