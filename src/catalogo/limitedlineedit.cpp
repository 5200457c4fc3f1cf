#include "limitedlineedit.h"

#include "data/valuerules.h"

#include <QScopedValueRollback>
#include <QValidator>
#include <algorithm>

namespace velmor {

// Cuts what an edit adds beyond the limit from the end of the inserted text, which
// is where the caret stands after typing, pasting or dropping.
class LimitValidator final : public QValidator {
public:
    explicit LimitValidator(LimitedLineEdit* box)
        : QValidator(box)
        , m_box(box)
    {
    }

    State validate(QString& text, int& caret) const override
    {
        if (m_box->m_fromProgram)
            return Acceptable;
        // Every one-line column takes the same characters.
        const QString kept = boxText(TextColumn::Nombre, text);
        if (kept != text) {
            caret = int(boxText(TextColumn::Nombre, text.left(caret)).size());
            text = kept;
        }
        const qsizetype allowed = std::max<qsizetype>(m_box->m_limit, m_box->m_lengthBefore);
        const qsizetype excess = text.size() - allowed;
        if (excess > 0) {
            qsizetype end = caret >= excess ? caret : text.size();
            qsizetype start = end - excess;
            // A letter written as a surrogate pair goes whole or not at all.
            if (start > 0 && text[start].isLowSurrogate() && text[start - 1].isHighSurrogate())
                --start;
            if (end < text.size() && text[end].isLowSurrogate() && text[end - 1].isHighSurrogate())
                ++end;
            text.remove(start, end - start);
            caret = int(start);
        }
        return Acceptable;
    }

private:
    LimitedLineEdit* m_box;
};

LimitedLineEdit::LimitedLineEdit(int maximumLength, QWidget* parent)
    : QLineEdit(parent)
    , m_limit(maximumLength)
{
    setValidator(new LimitValidator(this));
    connect(this, &QLineEdit::textChanged, this,
        [this](const QString& text) { m_lengthBefore = text.size(); });
}

void LimitedLineEdit::mostrar(const QString& text)
{
    const QScopedValueRollback guard(m_fromProgram, true);
    m_valor = text;
    m_mostrado = shownText(text);
    setText(m_mostrado);
}

std::optional<QString> LimitedLineEdit::valorMostrado() const
{
    if (m_valor && text() == m_mostrado)
        return m_valor;
    return std::nullopt;
}
}
