#pragma once

#include <QPlainTextEdit>

namespace velmor {

// A multi-line box whose length limit holds for what the user types, pastes or
// drops: text beyond the limit is cut from the end of what was just inserted, so
// the text already there is kept. Text the program shows is shown whole; the user's
// edits may then shorten it but not lengthen it.
class LimitedPlainTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedPlainTextEdit(int maximumLength, QWidget* parent = nullptr);

    int maximumLength() const { return m_maximumLength; }
    // Shows a value from the program, whole.
    void mostrar(const QString& text);

private:
    void enforceLimit();

    int m_maximumLength;
    bool m_trimming = false;
    int m_lengthBefore = 0;
};

}
