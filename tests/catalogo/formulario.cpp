#include "formulario.h"

#include <QAction>
#include <QTest>

using velmor::frmcatalogo;

bool Formulario::cargar(velmor::FormHost* host)
{
    form = std::make_unique<frmcatalogo>(host);
    form->show();
    return form->Form_Load();
}

QLineEdit* Formulario::cuadro(const QString& nombre) const
{
    return form->findChild<QLineEdit*>(nombre);
}

QPlainTextEdit* Formulario::txtdes() const
{
    return form->findChild<QPlainTextEdit*>(QStringLiteral("txtdes"));
}

void Formulario::escribir(const QString& nombre, const QString& texto)
{
    QWidget* destino;
    if (nombre == QLatin1String("txtdes")) {
        txtdes()->moveCursor(QTextCursor::End);
        destino = txtdes();
    } else {
        cuadro(nombre)->end(false);
        destino = cuadro(nombre);
    }
    // keyClicks knows only ASCII keys; other letters arrive as the text of a key
    // the keyboard layout does not name, as an input method sends them.
    for (QChar c : texto) {
        if (c.unicode() < 128)
            QTest::keyClick(destino, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, destino, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void Formulario::borrarTodo(const QString& nombre)
{
    QLineEdit* c = cuadro(nombre);
    c->end(false);
    for (qsizetype n = c->text().size(); n > 0; --n)
        QTest::keyClick(c, Qt::Key_Backspace);
}

void Formulario::teclear(const QStringList& textos)
{
    static const QStringList nombres = [] {
        QStringList n { "txtclacd", "txtnomcd", "txtart", "txtdes" };
        for (int i = 1; i <= 20; ++i)
            n << QStringLiteral("txtcan%1").arg(i);
        return n;
    }();
    for (qsizetype i = 0; i < textos.size(); ++i)
        escribir(nombres[i], textos[i]);
}

QStringList Formulario::textos() const
{
    QStringList t { cuadro("txtclacd")->text(), cuadro("txtnomcd")->text(),
        cuadro("txtart")->text(), txtdes()->toPlainText() };
    for (int i = 1; i <= 20; ++i)
        t << cuadro(QStringLiteral("txtcan%1").arg(i))->text();
    return t;
}

void Formulario::pulsar(const char* clave)
{
    form->findChild<QAction*>(QLatin1String(clave))->trigger();
}

QStringList registro(const QString& id, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& canciones)
{
    QStringList t { id, nombre, artista, descripcion };
    for (int i = 0; i < 20; ++i)
        t << canciones.value(i);
    return t;
}
