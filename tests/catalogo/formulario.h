#pragma once

#include "catalogo/frmcatalogo.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <memory>

// The catalogue form on a catalogue file of its own, with scripted message boxes.
// Rows meant to be found at load are stored before cargar().
struct Formulario {
    TestCatalog archivo;
    ScriptedMessageBoxes mensajes;
    std::unique_ptr<velmor::frmcatalogo> form;

    bool cargar(velmor::FormHost* host = nullptr);

    QLineEdit* cuadro(const QString& nombre) const;
    QPlainTextEdit* txtdes() const;
    // Types into a box as the user does, after the text it holds.
    void escribir(const QString& nombre, const QString& texto);
    // Presses Backspace once for each character the box holds.
    void borrarTodo(const QString& nombre);
    // Sets the boxes key, name, artist, description and songs by typing.
    void teclear(const QStringList& textos);
    // The 24 boxes in focus order.
    QStringList textos() const;
    // Runs a toolbar command through its action, as a click does.
    void pulsar(const char* clave);
};

// The 24 box texts of a CD record: key, name, artist, description, then songs.
QStringList registro(const QString& id, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& canciones = {});
