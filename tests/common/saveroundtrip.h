#pragma once

#include "scriptedmessageboxes.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace velmor {
class frmcatalogo;
}

// The promise of the value rules, tried on one CD: texts pasted into the catalogue
// form's boxes and saved with its toolbar; then verificar finds the catalogue sound,
// and exportar then importar into an empty catalogue, and exportar --hoja then
// importar --reemplazar, bring every value back byte for byte. Needs a QApplication.
class SaveRoundTrip {
public:
    SaveRoundTrip();
    ~SaveRoundTrip();
    SaveRoundTrip(const SaveRoundTrip&) = delete;
    SaveRoundTrip& operator=(const SaveRoundTrip&) = delete;

    // Pastes the texts into the name, artist, description and song boxes in that
    // order (the key is 7), saves, and follows the backups. Returns what broke the
    // promise, or an empty text.
    QString check(const QStringList& pasted);
    // The values the last check stored, in box order after the key; empty when the
    // form refused the save.
    QStringList stored;

private:
    QTemporaryDir m_dir;
    QString m_source, m_target;
    ScriptedMessageBoxes m_boxes;
    std::unique_ptr<velmor::frmcatalogo> m_form;
};
