// The value rules' promise on arbitrary texts: pasted into the catalogue form's boxes
// and saved with its toolbar, they pass verificar and come back byte for byte from
// exportar and importar, plain and for a spreadsheet (see SaveRoundTrip).
#include "saveroundtrip.h"

#include <QApplication>
#include <QLocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
SaveRoundTrip* roundTrip = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    // The fuzzer's own options are not the application's.
    static int argc = 1;
    static char name[] = "fuzz_formsave";
    static char* argv[] = { name, nullptr };
    static QApplication application(argc, argv);
    roundTrip = new SaveRoundTrip;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input is UTF-16, little-endian, any code unit (halves of pairs too); U+FFFF
    // separates the texts of the name, artist, description and songs boxes.
    QString units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units += QChar(char16_t(data[i] | data[i + 1] << 8));
    const QString fault = roundTrip->check(units.split(QChar(0xFFFF)));
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(fault));
        std::abort();
    }
    return 0;
}
