#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <memory>
#include <vector>

std::unique_ptr<QObject> makeCsvTest();
std::unique_ptr<QObject> makeImportTest();
std::unique_ptr<QObject> makeCheckTest();
std::unique_ptr<QObject> makeConversionTest();
std::unique_ptr<QObject> makeCommandsTest();

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeCsvTest());
    tests.push_back(makeImportTest());
    tests.push_back(makeCheckTest());
    tests.push_back(makeConversionTest());
    tests.push_back(makeCommandsTest());
    int failed = 0;
    for (const auto& test : tests)
        failed += QTest::qExec(test.get(), argc, argv);
    return failed;
}
