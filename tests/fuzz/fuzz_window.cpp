// The status decoder driving a real MainWindow (offscreen) over the simulated ORV. Each input
// is cut into 6-byte reports, the last one possibly shorter, handed one by one to
// MainWindow::inputData. After every input the window must still be consistent, and all it
// wrote to the device must be command reports of its own tables; anything else aborts.
#include "orvsession.h"

#include <QApplication>
#include <QSpinBox>

#include <cstdio>
#include <cstdlib>

namespace {

orvtest::Session *session = nullptr;
QList<QSpinBox *> spins;
unsigned long inputs = 0;

void require(const QString &broken)
{
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "broken: %s\n", qPrintable(broken));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_window";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // for the whole run
    session = new orvtest::Session;
    require(session->settle() ? QString() : QStringLiteral("the simulated ORV never connected"));
    require(session->brokenInvariant());
    require(session->badWrite(0, true)); // requests only as it connected
    simhid::setLogging(false);
    simhid::takeWrites();
    spins = session->window->findChildren<QSpinBox *>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t at = 0; at < size; at += 6)
        session->window->inputData(QByteArray(reinterpret_cast<const char *>(data + at),
                                              int(std::min<std::size_t>(6, size - at))));
    require(session->brokenInvariant());
    for (const QSpinBox *spin : spins)
        if (spin->value() < spin->minimum() || spin->value() > spin->maximum())
            require(spin->objectName() + QStringLiteral(" outside its range"));
    require(session->badWrite());
    simhid::takeWrites(); // keeps the record of writes from growing
    if (++inputs % 256 == 0) {
        simhid::withModel([](OrvModel &m) { m.clearReceived(); });
        QCoreApplication::processEvents();
    }
    return 0;
}
