#pragma once

#include <QLineEdit>

namespace velmor {

// A one-line box whose length limit holds for what the user types, pastes or drops,
// never for text the program shows: a stored value longer than the limit (a key
// written with an exponent, an upper-case form longer than what was typed) is shown
// whole, and the user's edits may then shorten it but not lengthen it.
class LimitedLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit LimitedLineEdit(int maximumLength, QWidget* parent = nullptr);

    int limit() const { return m_limit; }
    // Shows a value from the program, whole.
    void mostrar(const QString& text);

private:
    friend class LimitValidator;
    int m_limit;
    bool m_fromProgram = false;
    qsizetype m_lengthBefore = 0; // length before the edit being validated
};

}
