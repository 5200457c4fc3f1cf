#include "limitedplaintextedit.h"

#include "data/valuerules.h"

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
    setPlainText(shownText(text));
    m_valor = text;
    m_mostrado = toPlainText();
    m_lengthBefore = document()->characterCount() - 1;
}

std::optional<QString> LimitedPlainTextEdit::valorMostrado() const
{
    if (m_valor && toPlainText() == m_mostrado)
        return m_valor;
    return std::nullopt;
}

void LimitedPlainTextEdit::keepAllowedCharacters()
{
    // Each paragraph break is one character of the plain text, so positions in the
    // text are positions in the document.
    const QString text = toPlainText();
    if (boxText(TextColumn::Descripcion, text) == text)
        return;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        qsizetype start = i;
        if (text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())
            --start;
        const QString character = text.mid(start, i + 1 - start);
        const QString kept = boxText(TextColumn::Descripcion, character);
        if (kept != character) {
            cursor.setPosition(int(start));
            cursor.setPosition(int(i + 1), QTextCursor::KeepAnchor);
            cursor.insertText(kept);
        }
        i = start;
    }
    cursor.endEditBlock();
}

void LimitedPlainTextEdit::enforceLimit()
{
    if (m_trimming)
        return;
    {
        const QScopedValueRollback guard(m_trimming, true);
        keepAllowedCharacters();
    }
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
    // A cut through a letter written as a surrogate pair leaves half of it.
    keepAllowedCharacters();
    m_lengthBefore = document()->characterCount() - 1;
    m_trimming = false;
    QTextCursor moved = textCursor();
    moved.setPosition(std::min(end - excess, m_lengthBefore));
    setTextCursor(moved);
}

}
