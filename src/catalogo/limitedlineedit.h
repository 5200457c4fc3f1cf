#pragma once

#include <QLineEdit>
#include <optional>

namespace velmor {

// A one-line box whose length limit holds for what the user types, pastes or drops,
// never for text the program shows: a stored value longer than the limit (a key
// written with an exponent, an upper-case form longer than what was typed) is shown
// whole up to shownTextLimit, and the user's edits may then shorten it but not
// lengthen it. What the user puts in holds only characters a one-line value may hold.
class LimitedLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit LimitedLineEdit(int maximumLength, QWidget* parent = nullptr);

    int limit() const { return m_limit; }
    // Shows a value from the program, whole (see shownText).
    void mostrar(const QString& text);
    // True while mostrar changes the text.
    bool mostrando() const { return m_fromProgram; }
    // The value mostrar last showed, while the box still shows it unchanged.
    std::optional<QString> valorMostrado() const;

private:
    friend class LimitValidator;
    int m_limit;
    bool m_fromProgram = false;
    qsizetype m_lengthBefore = 0; // length before the edit being validated
    std::optional<QString> m_valor; // the value last shown
    QString m_mostrado; // the text it was shown as
};

}
