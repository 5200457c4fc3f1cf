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
        keepAllowedCharacters(text, caret);
        const qsizetype allowed = std::max<qsizetype>(m_box->m_limit, m_box->m_lengthBefore);
        const qsizetype excess = text.size() - allowed;
        if (excess > 0) {
            const qsizetype end = caret >= excess ? caret : text.size();
            text.remove(end - excess, excess);
            caret = int(end - excess);
            // A cut through a letter written as a surrogate pair leaves half of it.
            keepAllowedCharacters(text, caret);
        }
        return Acceptable;
    }

private:
    // Every one-line column takes the same characters.
    static void keepAllowedCharacters(QString& text, int& caret)
    {
        const QString kept = boxText(TextColumn::Nombre, text);
        if (kept != text) {
            caret = int(boxText(TextColumn::Nombre, text.left(caret)).size());
            text = kept;
        }
    }

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
