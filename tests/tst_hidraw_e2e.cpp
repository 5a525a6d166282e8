// The device link end to end: the real libhidapi-hidraw and libudev against an ORV simulated at
// the system level (sysfs tree and /dev node) by umockdev. Runs under umockdev-wrapper.

// GLib's headers use `signals` as a struct member, so they must come before any Qt header.
#include <umockdev.h>

#include "hidthread.h"
#include "identity.h"
#include "mainwindow.h"
#include "orvmodel.h"
#include "report.h"

#include <QtTest>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <mutex>

namespace {

constexpr int kReportLength = 64;
constexpr int kWait = 5000; // ms; generous, only ever waited for an expected event

// An ORV as hidapi finds it: a HID device and its hidraw node. The node is a symlink to a
// raw-mode pty whose readiness the fixture drives (the preload does not wrap poll()), while
// reads, writes and ioctls on it go to handlers that run on umockdev's own thread. Each report
// written is answered with the reports listed for its code.
class HidrawTestbed
{
public:
    explicit HidrawTestbed(const QHash<quint8, QList<QByteArray>> &answers)
        : answers(answers), testbed(umockdev_testbed_new()), handler(umockdev_ioctl_base_new())
    {
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), nullptr);
        g_signal_connect(handler, "handle-read", G_CALLBACK(onRead), this);
        g_signal_connect(handler, "handle-write", G_CALLBACK(onWrite), this);
        gchar *root = umockdev_testbed_get_root_dir(testbed);
        nodePath = QByteArray(root) + "/dev/hidraw0";
        QDir().mkpath(QFile::decodeName(root) + QStringLiteral("/dev"));
        g_free(root);
    }
    ~HidrawTestbed()
    {
        unplug();
        g_object_unref(handler);
        g_object_unref(testbed);
    }
    Q_DISABLE_COPY(HidrawTestbed)

    bool plug()
    {
        // The node first, so that the device is usable as soon as it is listed.
        if (!openPty() || symlink(slaveName.constData(), nodePath.constData()) != 0 ||
            !umockdev_testbed_attach_ioctl(testbed, "/dev/hidraw0", handler, nullptr))
            return false;
        // hidapi skips a HID device that lacks any of these three.
        const auto ids = [](const char *format) {
            return QString::asprintf(format, orv::kVendorId, orv::kProductId).toLatin1();
        };
        const QByteArray name = ids("0003:%04X:%04X.0001"), id = ids("0003:%08X:%08X");
        hidPath = take(umockdev_testbed_add_device(testbed, "hid", name.constData(), nullptr,
                                                   nullptr, "HID_ID", id.constData(), "HID_NAME",
                                                   "ORV", "HID_UNIQ", "0001", nullptr));
        hidrawPath =
            take(umockdev_testbed_add_device(testbed, "hidraw", "hidraw0", hidPath.constData(),
                                             nullptr, "DEVNAME", "/dev/hidraw0", nullptr));
        // Without it, an enumeration filtered by vendor and product finds nothing.
        umockdev_testbed_set_attribute_link(testbed, hidrawPath.constData(), "device", "..");
        return !hidrawPath.isEmpty();
    }

    void unplug()
    {
        {
            // Closing every end of the pty is what gives the open handle its POLLHUP.
            std::lock_guard<std::mutex> lock(mutex);
            for (int *fd : {&master, &slave}) {
                if (*fd >= 0)
                    close(*fd);
                *fd = -1;
            }
            queue.clear();
        }
        // Bottom-up: removing only the top leaves a stale child that aborts a re-plug.
        for (QByteArray *path : {&hidrawPath, &hidPath}) {
            if (!path->isEmpty())
                umockdev_testbed_remove_device(testbed, path->constData());
            path->clear();
        }
        umockdev_testbed_detach_ioctl(testbed, "/dev/hidraw0", nullptr);
        unlink(nodePath.constData());
    }

    QList<QByteArray> writes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return written;
    }
    int pendingReports() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return queue.size();
    }

private:
    static QByteArray take(gchar *s)
    {
        const QByteArray out(s);
        g_free(s);
        return out;
    }

    bool openPty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0)
            return false;
        slaveName = name;
        // Our own end, kept to consume the readiness bytes.
        slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        termios tio{};
        if (slave < 0 || tcgetattr(slave, &tio) != 0)
            return false;
        // A canonical pty would hold the bytes back until a newline: no report would ever show.
        cfmakeraw(&tio);
        return tcsetattr(slave, TCSANOW, &tio) == 0;
    }

    // hid_open needs the descriptor size to be answered; nothing else is asked.
    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
    {
        const bool known = umockdev_ioctl_client_get_request(client) == HIDIOCGRDESCSIZE;
        umockdev_ioctl_client_complete(client, known ? 0 : -1, known ? 0 : ENOTTY);
        return TRUE;
    }
    static gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto *tb = static_cast<HidrawTestbed *>(self);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        std::lock_guard<std::mutex> lock(tb->mutex);
        if (tb->queue.isEmpty()) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return TRUE;
        }
        QByteArray report = tb->queue.dequeue();
        char ready;
        if (read(tb->slave, &ready, 1) != 1)
            qWarning("pty read failed");
        // hidraw truncates a report to the caller's buffer.
        const int n = int(std::min<qsizetype>(report.size(), arg->data_len));
        umockdev_ioctl_data_update(arg, 0, reinterpret_cast<guint8 *>(report.data()), n);
        umockdev_ioctl_client_complete(client, n, 0);
        return TRUE;
    }
    static gboolean onWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto *tb = static_cast<HidrawTestbed *>(self);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        const QByteArray data(reinterpret_cast<const char *>(arg->data), arg->data_len);
        {
            std::lock_guard<std::mutex> lock(tb->mutex);
            tb->written.append(data);
            // Once unplugged there is nobody to answer to.
            for (const QByteArray &report :
                 tb->answers.value(data.size() > 1 ? quint8(data[1]) : 0)) {
                if (tb->master < 0)
                    break;
                tb->queue.enqueue(report.leftJustified(kReportLength, '\0'));
                const char ready = 1;
                if (write(tb->master, &ready, 1) != 1)
                    qWarning("pty write failed");
            }
        }
        umockdev_ioctl_client_complete(client, arg->data_len, 0);
        return TRUE;
    }

    const QHash<quint8, QList<QByteArray>> answers; // before the testbed starts its thread
    UMockdevTestbed *testbed;
    UMockdevIoctlBase *handler;
    QByteArray nodePath, slaveName, hidPath, hidrawPath;

    mutable std::mutex mutex; // guards everything below: the handlers run on umockdev's thread
    int master = -1;
    int slave = -1;
    QQueue<QByteArray> queue; // one readiness byte in the pty for each
    QList<QByteArray> written;
};

} // namespace

class TestHidrawE2e : public QObject
{
    Q_OBJECT

private slots:
    // The window on the shipped link period: nothing while the ORV is absent; on each plug one
    // connection, the program's requests for the whole state byte for byte and only once,
    // and every answer back intact and in order, the malformed reports among them read and
    // dropped; on each unplug one disconnection; once it is gone, writes are dropped.
    void windowFollowsTheDevice()
    {
        // A session leader without a terminal adopts the pty as its controlling terminal when
        // the library opens it, and the unplug's hang-up would then kill the test.
        std::signal(SIGHUP, SIG_IGN);
        QList<QByteArray> requests, expected;
        QHash<quint8, QList<QByteArray>> answers;
        for (quint8 code : report::kStateRequests) {
            QByteArray request(7, '\0');
            request[1] = request[6] = char(code);
            requests << request;
            // Distinct, plausible payloads: a swapped or shifted answer shows.
            const auto r = statusReport(code, code == 0x86 ? 0x00020004u : code - 0x70u);
            expected << QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size()));
            answers[code] << expected.last();
        }
        // Malformed reports ahead of three answers: wrong checksum, code 0, all zero.
        answers[0x80].prepend(QByteArray::fromHex("8700000040C8"));
        answers[0x90].prepend(QByteArray::fromHex("000000000505"));
        answers[0x85].prepend(QByteArray(6, '\0'));

        HidrawTestbed device(answers);
        // Only meaningful once a testbed exists: the answer is cached.
        QVERIFY2(umockdev_in_mock_environment(), "not under umockdev-wrapper: real /sys and /dev");
        QList<bool> states, expectedStates;
        QList<QByteArray> messages;
        QObject context; // goes before the lists, and takes any signal still queued with it
        MainWindow window;
        auto *link = window.findChild<hidthread *>();
        QVERIFY(link != nullptr);
        connect(link, &hidthread::HID_vConnectedSignal, &context, [&](bool on) { states << on; });
        connect(link, &hidthread::HID_vInputMessageSignal, &context,
                [&](const QByteArray &m) { messages << m; });
        QTest::qWait(300); // a few cycles with the device absent
        QVERIFY(states.isEmpty());
        QVERIFY(device.writes().isEmpty());

        for (int plug = 0; plug < 2; ++plug) {
            const int before = device.writes().size();
            messages.clear();
            QVERIFY(device.plug());
            expectedStates << true;
            QTRY_COMPARE_WITH_TIMEOUT(states, expectedStates, kWait);
            QTRY_COMPARE_WITH_TIMEOUT(messages.size(), expected.size(), kWait);
            QCOMPARE(messages, expected);
            QCOMPARE(device.pendingReports(), 0);
            const QList<QByteArray> writes = device.writes().mid(before);
            QCOMPARE(writes.mid(0, requests.size()), requests);
            // Answers may make the window send commands, never a second round of requests.
            QCOMPARE(std::count_if(
                         writes.begin(), writes.end(),
                         [](const QByteArray &w) { return w.size() > 1 && quint8(w[1]) >= 0x80; }),
                     std::ptrdiff_t(requests.size()));
            device.unplug();
            expectedStates << false;
            QTRY_COMPARE_WITH_TIMEOUT(states, expectedStates, kWait);
        }
        const int written = device.writes().size();
        link->HID_vWrite(reinterpret_cast<const unsigned char *>(requests[0].constData()), 7);
        QTest::qWait(300); // nor a late connection
        QCOMPARE(states, expectedStates);
        QCOMPARE(device.writes().size(), written);
    }
};

QTEST_MAIN(TestHidrawE2e)
#include "tst_hidraw_e2e.moc"
