#include "limitedplaintextedit.h"

#include <QScopedValueRollback>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace velmor {

LimitedPlainTextEdit::LimitedPlainTextEdit(int maximumLength, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_maximumLength(maximumLength)
{
    connect(this, &QPlainTextEdit::textChanged, this, &LimitedPlainTextEdit::enforceLimit);
}

void LimitedPlainTextEdit::mostrar(const QString& text)
{
    const QScopedValueRollback guard(m_trimming, true);
    setPlainText(text);
    m_lengthBefore = document()->characterCount() - 1;
}

void LimitedPlainTextEdit::enforceLimit()
{
    if (m_trimming)
        return;
    // characterCount() includes the separator that ends the last paragraph.
    const int length = document()->characterCount() - 1;
    const int excess = length - std::max(m_maximumLength, m_lengthBefore);
    m_lengthBefore = length - std::max(excess, 0);
    if (excess <= 0)
        return;
    // Typing, pasting and dropping leave the caret after the inserted text, which
    // is where the overflow is cut.
    const int caret = textCursor().position();
    const int end = caret >= excess ? caret : length;
    m_trimming = true;
    QTextCursor cursor(document());
    cursor.setPosition(end - excess);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_trimming = false;
    QTextCursor moved = textCursor();
    moved.setPosition(end - excess);
    setTextCursor(moved);
}

}
