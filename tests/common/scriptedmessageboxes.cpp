#include "scriptedmessageboxes.h"

void ScriptedMessageBoxes::information(QWidget*, const QString& title, const QString& text)
{
    shown.append({ Information, title, text });
}

void ScriptedMessageBoxes::error(QWidget*, const QString& text)
{
    shown.append({ Error, QStringLiteral("ERROR"), text });
}

bool ScriptedMessageBoxes::confirm(QWidget*, const QString& text)
{
    shown.append({ Confirm, QStringLiteral("CONFIRMAR"), text });
    return answers.isEmpty() ? true : answers.takeFirst();
}

void ScriptedMessageBoxes::failure(QWidget*, const QString& text)
{
    shown.append({ Failure, QStringLiteral("velmor"), text });
}

QStringList ScriptedMessageBoxes::take()
{
    QStringList texts;
    for (const auto& s : shown)
        texts << s.text;
    shown.clear();
    return texts;
}
