// The device link end to end: the real libhidapi-hidraw and libudev against an ORV simulated at
// the system level (sysfs tree and /dev node) by umockdev. Runs under umockdev-wrapper.

// GLib's headers use `signals` as a struct member, so they must come before any Qt header.
#include <umockdev.h>

#include "hidthread.h"
#include "mainwindow.h"

#include <hidapi.h>

#include <QtTest>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace {

constexpr quint16 kVendorId = 0x1FC9;
constexpr quint16 kProductId = 0x0003;
constexpr int kReportLength = 64;
constexpr int kWait = 5000; // ms; generous, only ever waited for an expected event

// Vendor page, 64-byte input and output reports, no report ID.
const unsigned char kReportDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                           0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                           0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02, 0xC0};

// A well-formed status report: code, 32-bit payload MSB first, checksum.
QByteArray status(quint8 code, quint32 payload)
{
    QByteArray r(6, '\0');
    r[0] = char(code);
    for (int i = 0; i < 4; ++i)
        r[1 + i] = char(payload >> (24 - 8 * i));
    quint8 sum = 0;
    for (int i = 0; i < 5; ++i)
        sum += quint8(r[i]);
    r[5] = char(sum);
    return r;
}

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray r;
    for (quint8 b : list)
        r.append(char(b));
    return r;
}

// An ORV as the kernel would show it: USB device, interface, HID device and hidraw node. The
// node is a symlink to a raw-mode pty whose readiness the fixture drives (the preload does not
// wrap poll()), while reads, writes and ioctls on it go to an umockdev ioctl handler, which
// runs on umockdev's own thread.
class HidrawTestbed
{
public:
    HidrawTestbed() : testbed(umockdev_testbed_new()), handler(umockdev_ioctl_base_new())
    {
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
        g_signal_connect(handler, "handle-read", G_CALLBACK(onRead), this);
        g_signal_connect(handler, "handle-write", G_CALLBACK(onWrite), this);
        gchar *root = umockdev_testbed_get_root_dir(testbed);
        devDir = QString::fromLocal8Bit(root) + QStringLiteral("/dev");
        g_free(root);
        QDir().mkpath(devDir);
    }
    ~HidrawTestbed()
    {
        unplug();
        g_object_unref(handler);
        g_object_unref(testbed);
    }
    HidrawTestbed(const HidrawTestbed &) = delete;
    HidrawTestbed &operator=(const HidrawTestbed &) = delete;

    bool plug()
    {
        if (!openPty())
            return false;
        // The node first, so that the device is usable as soon as it is listed.
        if (symlink(slaveName.constData(), nodePath().constData()) != 0)
            return false;
        GError *error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed, "/dev/hidraw0", handler, &error)) {
            qWarning("attach_ioctl: %s", error->message);
            g_error_free(error);
            return false;
        }
        usbPath = take(umockdev_testbed_add_device(
            testbed, "usb", "usb1", nullptr, "idVendor", "1fc9", "idProduct", "0003", "bcdDevice",
            "0100", "manufacturer", "Test", "product", "ORV", "serial", "0001", nullptr, "DEVTYPE",
            "usb_device", nullptr));
        interfacePath = take(umockdev_testbed_add_device(
            testbed, "usb", "1-1:1.0", usbPath.constData(), "bInterfaceNumber", "00", nullptr,
            "DEVTYPE", "usb_interface", nullptr));
        hidPath = take(umockdev_testbed_add_device(
            testbed, "hid", "0003:1FC9:0003.0001", interfacePath.constData(), nullptr, "HID_ID",
            "0003:00001FC9:00000003", "HID_NAME", "Test ORV", "HID_UNIQ", "0001", nullptr));
        umockdev_testbed_set_attribute_binary(testbed, hidPath.constData(), "report_descriptor",
                                              const_cast<guint8 *>(kReportDescriptor),
                                              sizeof kReportDescriptor);
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
            closePty();
            queue.clear();
        }
        // Bottom-up: removing only the top leaves stale children that abort a re-plug.
        for (QByteArray *path : {&hidrawPath, &hidPath, &interfacePath, &usbPath}) {
            if (!path->isEmpty())
                umockdev_testbed_remove_device(testbed, path->constData());
            path->clear();
        }
        umockdev_testbed_detach_ioctl(testbed, "/dev/hidraw0", nullptr);
        unlink(nodePath().constData());
    }

    // Back to a fresh, unplugged device that has seen nothing.
    void reset()
    {
        unplug();
        std::lock_guard<std::mutex> lock(mutex);
        answers.clear();
        written.clear();
    }

    // As the device sends it: padded to the full input report.
    void queueReport(const QByteArray &report)
    {
        std::lock_guard<std::mutex> lock(mutex);
        queueLocked(report);
    }
    // The reports the device sends back when it receives a request with that code.
    void setAnswers(const QHash<quint8, QByteArray> &table)
    {
        std::lock_guard<std::mutex> lock(mutex);
        answers = table;
    }
    QList<QByteArray> writes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return written;
    }
    int pendingReports() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return int(queue.size());
    }

private:
    static QByteArray take(gchar *s)
    {
        const QByteArray out(s);
        g_free(s);
        return out;
    }
    QByteArray nodePath() const { return QFile::encodeName(devDir + QStringLiteral("/hidraw0")); }

    bool openPty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return false;
        char name[64];
        if (ptsname_r(master, name, sizeof name) != 0)
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
    void closePty()
    {
        for (int *fd : {&master, &slave}) {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
    }
    void queueLocked(const QByteArray &report)
    {
        if (master < 0)
            return; // unplugged: nobody to send to
        queue.push_back(report.leftJustified(kReportLength, '\0'));
        const char ready = 1;
        if (write(master, &ready, 1) != 1)
            qWarning("pty write failed");
    }

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer)
    {
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        switch (umockdev_ioctl_client_get_request(client)) {
        case HIDIOCGRDESCSIZE: {
            int size = sizeof kReportDescriptor;
            umockdev_ioctl_data_update(arg, 0, reinterpret_cast<guint8 *>(&size), sizeof size);
            umockdev_ioctl_client_complete(client, 0, 0);
            break;
        }
        case HIDIOCGRDESC:
            umockdev_ioctl_data_update(arg, offsetof(hidraw_report_descriptor, value),
                                       const_cast<guint8 *>(kReportDescriptor),
                                       sizeof kReportDescriptor);
            umockdev_ioctl_client_complete(client, 0, 0);
            break;
        default:
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
        }
        return TRUE;
    }
    static gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto *tb = static_cast<HidrawTestbed *>(self);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        std::lock_guard<std::mutex> lock(tb->mutex);
        if (tb->queue.empty()) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return TRUE;
        }
        QByteArray report = tb->queue.front();
        tb->queue.pop_front();
        char ready;
        if (read(tb->slave, &ready, 1) != 1)
            qWarning("pty read failed");
        // hidraw truncates a report to the caller's buffer.
        const int n = std::min(report.size(), arg->data_len);
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
            if (data.size() > 1 && tb->answers.contains(quint8(data[1])))
                tb->queueLocked(tb->answers.value(quint8(data[1])));
        }
        umockdev_ioctl_client_complete(client, arg->data_len, 0);
        return TRUE;
    }

    UMockdevTestbed *testbed;
    UMockdevIoctlBase *handler;
    QString devDir;
    QByteArray usbPath, interfacePath, hidPath, hidrawPath, slaveName;

    mutable std::mutex mutex; // guards everything below: the handlers run on umockdev's thread
    int master = -1;
    int slave = -1;
    std::deque<QByteArray> queue;
    QHash<quint8, QByteArray> answers;
    QList<QByteArray> written;
};

// Both link signals, collected on the test thread (queued), so that reading them needs no lock.
struct Recorder
{
    QObject context;
    QList<bool> states;
    QList<QByteArray> messages;

    explicit Recorder(hidthread *link)
    {
        QObject::connect(link, &hidthread::HID_vConnectedSignal, &context,
                         [this](bool b) { states << b; });
        QObject::connect(link, &hidthread::HID_vInputMessageSignal, &context,
                         [this](const QByteArray &m) { messages << m; });
    }
};

// A link configured and started as the window does it.
struct Link
{
    hidthread thread;
    Recorder record{&thread};

    Link()
    {
        thread.HID_vConfigure(kVendorId, kProductId, kReportLength);
        thread.start();
    }
};

} // namespace

class TestHidrawE2e : public QObject
{
    Q_OBJECT

    HidrawTestbed *testbed = nullptr;

private slots:
    void initTestCase()
    {
        // A session leader without a terminal adopts the pty as its controlling terminal when
        // the library opens it, and the unplug's hang-up would then kill the test.
        std::signal(SIGHUP, SIG_IGN);
        testbed = new HidrawTestbed;
        // Only meaningful once a testbed exists: the answer is cached.
        if (!umockdev_in_mock_environment())
            QFAIL("not under umockdev-wrapper: the real /sys and /dev would be used");
    }
    void cleanupTestCase() { delete testbed; }
    void cleanup() { testbed->reset(); }

    // The fixture as the library sees it, so that a failure below is the link's, not ours.
    void listedOnlyWhilePlugged()
    {
        QVERIFY(hid_enumerate(kVendorId, kProductId) == nullptr);
        QVERIFY(testbed->plug());
        hid_device_info *info = hid_enumerate(kVendorId, kProductId);
        QVERIFY(info != nullptr);
        QCOMPARE(QByteArray(info->path), QByteArray("/dev/hidraw0"));
        QCOMPARE(info->usage_page, quint16(0xFF00));
        QCOMPARE(info->interface_number, 0);
        QVERIFY(info->next == nullptr);
        hid_free_enumeration(info);
        testbed->unplug();
        QVERIFY(hid_enumerate(kVendorId, kProductId) == nullptr);
        hid_exit();
    }

    // On connection the window asks for the whole device state, firmware first, and every
    // answer comes back through the link intact and in order.
    void windowReadsStateOnConnection()
    {
        const quint8 codes[] = {0x86, 0x80, 0x90, 0x85, 0x84, 0x81, 0x82, 0x87,
                                0x83, 0x8E, 0x8F, 0x8B, 0x8A, 0x88, 0x89};
        QHash<quint8, QByteArray> answers;
        QList<QByteArray> expectedRequests, expectedAnswers;
        for (quint8 code : codes) {
            expectedRequests << bytes({0, code, 0, 0, 0, 0, code});
            // Distinct, plausible payloads: a swapped or shifted answer shows.
            expectedAnswers << status(code, code == 0x86 ? 0x00020004u : code - 0x70u);
            answers.insert(code, expectedAnswers.last());
        }
        testbed->setAnswers(answers);

        MainWindow window;
        auto *link = window.findChild<hidthread *>();
        QVERIFY(link != nullptr);
        Recorder record(link);
        QTest::qWait(500); // a few cycles with the device absent
        QVERIFY(record.states.isEmpty());
        QVERIFY(testbed->writes().isEmpty());

        QVERIFY(testbed->plug());
        QTRY_COMPARE_WITH_TIMEOUT(record.states, QList<bool>{true}, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(testbed->writes().size() >= expectedRequests.size(), kWait);
        QCOMPARE(testbed->writes().mid(0, expectedRequests.size()), expectedRequests);
        QTRY_COMPARE_WITH_TIMEOUT(record.messages.size(), expectedAnswers.size(), kWait);
        QCOMPARE(record.messages, expectedAnswers);
        // Answers may make the window send commands, never a second round of requests.
        const QList<QByteArray> writes = testbed->writes();
        const auto isRequest = [](const QByteArray &w) {
            return w.size() > 1 && quint8(w[1]) >= 0x80;
        };
        QCOMPARE(std::count_if(writes.begin(), writes.end(), isRequest),
                 std::ptrdiff_t(expectedRequests.size()));
        QCOMPARE(testbed->pendingReports(), 0);

        testbed->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(record.states, (QList<bool>{true, false}), kWait);
    }

    void dropsInvalidReports_data()
    {
        QTest::addColumn<QByteArray>("invalid");
        QTest::newRow("wrong checksum") << bytes({0x87, 0, 0, 0, 0x40, 0xC8});
        QTest::newRow("code 0") << bytes({0x00, 0, 0, 0, 0x05, 0x05});
        QTest::newRow("all zero") << QByteArray(6, '\0');
    }
    // Reports queued together arrive in order, and malformed ones between two good ones are read
    // and dropped without disturbing them.
    void dropsInvalidReports()
    {
        QFETCH(QByteArray, invalid);
        const QByteArray before = status(0x90, 87);
        const QByteArray after = status(0x8D, 0x01020304);

        Link link;
        QVERIFY(testbed->plug());
        QTRY_COMPARE_WITH_TIMEOUT(link.record.states, QList<bool>{true}, kWait);
        testbed->queueReport(before);
        testbed->queueReport(invalid);
        testbed->queueReport(invalid);
        testbed->queueReport(after);
        QTRY_COMPARE_WITH_TIMEOUT(link.record.messages.size(), 2, kWait);
        QCOMPARE(link.record.messages, (QList<QByteArray>{before, after}));
        QCOMPARE(testbed->pendingReports(), 0);
        QCOMPARE(link.record.states, QList<bool>{true});
    }

    // Each plug gives one connection and each unplug one disconnection, and every new handle
    // carries reports both ways.
    void replugCycles()
    {
        Link link;
        QTest::qWait(500); // a few cycles with the device absent
        QVERIFY(link.record.states.isEmpty());

        QList<bool> expected;
        for (int cycle = 0; cycle < 4; ++cycle) {
            QVERIFY(testbed->plug());
            expected << true;
            QTRY_COMPARE_WITH_TIMEOUT(link.record.states, expected, kWait);

            const quint8 request[] = {0, 0x8C, 0, 0, 0, 0, 0x8C};
            link.thread.HID_vWrite(request, sizeof request);
            QTRY_COMPARE_WITH_TIMEOUT(testbed->writes().size(), cycle + 1, kWait);
            QCOMPARE(testbed->writes().last(), bytes({0, 0x8C, 0, 0, 0, 0, 0x8C}));
            const QByteArray answer = status(0x8C, quint32(cycle + 1));
            testbed->queueReport(answer);
            QTRY_COMPARE_WITH_TIMEOUT(link.record.messages.size(), cycle + 1, kWait);
            QCOMPARE(link.record.messages.last(), answer);

            testbed->unplug();
            expected << false;
            QTRY_COMPARE_WITH_TIMEOUT(link.record.states, expected, kWait);
        }
        // Nothing more once it is gone: no late connection, and writes are dropped.
        const quint8 request[] = {0, 0x8C, 0, 0, 0, 0, 0x8C};
        link.thread.HID_vWrite(request, sizeof request);
        QTest::qWait(300);
        QCOMPARE(link.record.states, expected);
        QCOMPARE(testbed->writes().size(), 4);
    }
};

QTEST_MAIN(TestHidrawE2e)
#include "tst_hidraw_e2e.moc"
