#pragma once

#include <QPlainTextEdit>
#include <optional>

namespace velmor {

// A multi-line box whose length limit holds for what the user types, pastes or
// drops: text beyond the limit is cut from the end of what was just inserted, so
// the text already there is kept, and characters a description may not hold are
// made blanks or left out. Text the program shows is shown whole up to
// shownTextLimit; the user's edits may then shorten it but not lengthen it.
class LimitedPlainTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedPlainTextEdit(int maximumLength, QWidget* parent = nullptr);

    int maximumLength() const { return m_maximumLength; }
    // Shows a value from the program, whole (see shownText).
    void mostrar(const QString& text);
    // The value mostrar last showed, while the box still shows it unchanged.
    std::optional<QString> valorMostrado() const;

private:
    void enforceLimit();
    void keepAllowedCharacters();

    int m_maximumLength;
    bool m_trimming = false;
    int m_lengthBefore = 0;
    std::optional<QString> m_valor; // the value last shown
    QString m_mostrado; // the plain text it was shown as
};

}
