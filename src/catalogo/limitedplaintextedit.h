#pragma once

#include <QPlainTextEdit>

namespace velmor {

// A multi-line box that holds at most maximumLength() characters, however the text
// arrives: typed, pasted, dropped or set from code. Text beyond the limit is cut
// from the end of what was just inserted, so the text already there is kept.
class LimitedPlainTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedPlainTextEdit(int maximumLength, QWidget* parent = nullptr);

    int maximumLength() const { return m_maximumLength; }

private:
    void enforceLimit();

    int m_maximumLength;
    bool m_trimming = false;
};

}
