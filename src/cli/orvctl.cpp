#include "orvctl.h"

#include "deviceaccess.h"
#include "devicesettings.h"
#include "hidthread.h"
#include "identity.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The fifteen answers come one per cycle of the link: time enough for them and a margin.
constexpr int kAnswerCycles = 25;
constexpr int kAnswerFloorMs = 2000; // for a short cycle on a slow machine (tests, valgrind)
constexpr int kConnectMs = 3000;

const char *const kHelp[][2] = {
    {"status", "status [--json]\n"
               "  The firmware, battery, charge and every setting, as the ORV reports them;\n"
               "  a value it does not report shows as such (null in JSON)."},
    {"set", "set SETTING VALUE\n"
            "  Sets one setting, within the window's ranges, and prints what the ORV then\n"
            "  reports. A value out of range is refused (exit status 2) and nothing is sent.\n"
            "  SETTING is one of:"},
    {"interval", "interval start|stop\n"
                 "  Starts or stops the intervalometer with the settings the ORV holds."},
    {"watch", "watch\n"
              "  Prints each report as the ORV sends it (shots, the end of a series, battery)\n"
              "  until Ctrl+C or until the ORV is unplugged."},
    {"lag", "lag start | lag read LEDS\n"
            "  start: the ORV measures the camera's shutter lag and shows it on its LEDs.\n"
            "  read: LEDS are the eight LEDs left to right across both rows, 1 lit and 0 dark\n"
            "  (10001001 is 137 ms); nothing is sent."},
};

} // namespace

Orvctl::Orvctl(QTextStream &out, QTextStream &err, int iLinkPeriodMs)
    : out(out), err(err), iLinkPeriodMs(iLinkPeriodMs), leds(computeLedBrightnessTable())
{
}

Orvctl::~Orvctl()
{
    delete link; // stops the link's thread before this object goes
}

int Orvctl::usage(const QString &command, const QString &error)
{
    QTextStream &to = error.isEmpty() ? out : err;
    if (!error.isEmpty())
        to << "orvctl: " << error << '\n';
    if (command.isEmpty() || !error.isEmpty()) {
        to << "usage: orvctl COMMAND [ARGUMENT]...   (orvctl COMMAND --help for more)\n"
              "commands: status, set, interval, watch, lag\n";
    } else {
        for (const auto &help : kHelp)
            if (command == QLatin1String(help[0]))
                to << help[1] << '\n';
        if (command == QLatin1String("set"))
            for (const settings::Setting &s : settings::kAll)
                to << "    " << QString::fromLatin1(s.name).leftJustified(16) << s.help << '\n';
        to << "Exit status: 0 done, 1 no ORV (or it stopped answering), 2 bad usage, 3 ORV\n"
              "found but it cannot be opened.\n";
    }
    return error.isEmpty() ? Ok : Usage;
}

int Orvctl::run(const QStringList &args)
{
    const QString command = args.value(0);
    if (command.isEmpty() || command == QLatin1String("--help") || command == QLatin1String("-h"))
        return usage({}, command.isEmpty() ? QStringLiteral("no command given") : QString());
    bool known = false;
    for (const auto &help : kHelp)
        known = known || command == QLatin1String(help[0]);
    if (!known)
        return usage({}, QStringLiteral("unknown command '%1'").arg(command));
    const QStringList rest = args.mid(1);
    if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h")))
        return usage(command);

    // Everything the user typed is checked before anything reaches the ORV.
    const QString arg = rest.value(0);
    const auto wrong = [&](int count) {
        return rest.size() != count
                   ? usage(command, QStringLiteral("wrong arguments for %1").arg(command))
                   : Ok;
    };
    const settings::Setting *setting = nullptr;
    if (command == QLatin1String("status")) {
        if (!rest.isEmpty() && rest != QStringList{QStringLiteral("--json")})
            return wrong(-1);
    } else if (command == QLatin1String("set")) {
        if (rest.size() != 2)
            return wrong(2);
        setting = settings::find(arg.toStdString());
        if (!setting)
            return usage(command, QStringLiteral("unknown setting '%1'").arg(arg));
        const settings::Parsed parsed =
            settings::parse(*setting, rest.value(1).toStdString(), leds);
        if (!parsed.error.empty()) {
            err << "orvctl: " << QString::fromStdString(parsed.error) << "; nothing sent\n";
            return Usage;
        }
    } else if (command == QLatin1String("interval") || command == QLatin1String("lag")) {
        const bool read = command == QLatin1String("lag") && arg == QLatin1String("read");
        if (read || arg == QLatin1String("start") ||
            (command == QLatin1String("interval") && arg == QLatin1String("stop"))) {
            if (wrong(read ? 2 : 1) != Ok)
                return Usage;
        } else {
            return usage(command, QStringLiteral("%1 takes %2")
                                      .arg(command, command == QLatin1String("lag")
                                                        ? QStringLiteral("start or read")
                                                        : QStringLiteral("start or stop")));
        }
        if (read) {
            const auto ms = settings::lagMilliseconds(rest.value(1).toStdString());
            if (!ms)
                return usage(command,
                             QStringLiteral("LEDS is eight 0 or 1, not '%1'").arg(rest.value(1)));
            out << *ms << " ms\n";
            return Ok;
        }
    } else if (!rest.isEmpty()) {
        return wrong(0);
    }

    if (const int code = connectDevice(); code != Ok)
        return code;
    if (command == QLatin1String("status"))
        return status(!rest.isEmpty());
    if (command == QLatin1String("set"))
        return set(arg, rest.value(1));
    if (command == QLatin1String("watch"))
        return watch();
    if (command == QLatin1String("lag")) {
        send(CmdStartLag, 0);
        out << "lag measurement started: once the ORV shows the result, read its eight LEDs\n"
               "left to right and run: orvctl lag read LEDS (for example 10001001)\n";
    } else {
        const bool start = arg == QLatin1String("start");
        send(start ? CmdInterStart : CmdInterStop, 0);
        out << "intervalometer " << (start ? "started" : "stopped") << '\n';
    }
    // A command is written at once; the link's next cycle shows whether the ORV is still there.
    return wait(2 * iLinkPeriodMs) == NoDevice ? NoDevice : Ok;
}

int Orvctl::connectDevice()
{
    const DeviceAccess access = probeDeviceAccess(orv::kVendorId, orv::kProductId);
    const QString path = QString::fromStdString(access.path);
    if (access.state == DeviceAccess::Absent) {
        err << QStringLiteral("orvctl: no ORV connected (looked for USB device %1:%2)\n")
                   .arg(orv::kVendorId, 4, 16, QLatin1Char('0'))
                   .arg(orv::kProductId, 4, 16, QLatin1Char('0'));
        return NoDevice;
    }
    if (access.state == DeviceAccess::Refused) {
        const QString why = QString::fromLocal8Bit(std::strerror(access.error));
        if (access.error == EACCES || access.error == EPERM)
            err << "orvctl: ORV found at " << path << " but access denied: " << why << '\n'
                << "The udev rule 70-orvcontrol.rules gives the user logged in at this machine "
                   "access to it.\nInstall it with the orvcontrol package, or from the source "
                   "tree with: scripts/install.sh --udev-rule\nthen unplug the ORV and plug it "
                   "in again. Over SSH, with nobody logged in at the machine,\nthe rule does not "
                   "apply: run orvctl as root there.\n";
        else
            err << "orvctl: ORV found at " << path << " but it cannot be opened: " << why << '\n';
        return Denied;
    }
    link = new hidthread(nullptr, iLinkPeriodMs);
    connect(link, &hidthread::HID_vConnectedSignal, this, &Orvctl::onConnected);
    connect(link, &hidthread::HID_vInputMessageSignal, this, &Orvctl::onReport);
    link->HID_vConfigure(orv::kVendorId, orv::kProductId, 64);
    link->start();
    const int code = wait(kConnectMs);
    if (code == Interrupted)
        return Interrupted;
    if (code != Ok || !connected) {
        err << "orvctl: the ORV at " << path << " went away before it could be opened\n";
        return NoDevice;
    }
    return Ok;
}

void Orvctl::onConnected(bool bStatus)
{
    connected = bStatus;
    if (!bStatus && watching)
        out << QDateTime::currentDateTime().toString(Qt::ISODate) << " ORV unplugged\n"
            << Qt::flush;
    finish(bStatus ? Ok : NoDevice);
}

void Orvctl::onReport(QByteArray qbaData)
{
    const auto code = std::uint8_t(qbaData.at(0));
    if (code == StatusInterShot)
        shot = std::int64_t(
            report::payloadU32(reinterpret_cast<const std::uint8_t *>(qbaData.constData())));
    answers[code] = qbaData;
    if (watching) {
        QString text = describe(qbaData);
        if (code == StatusInterState) {
            const bool running = qbaData.at(4) != InterInactive;
            if (seriesRunning && !running)
                text = QStringLiteral("series ended");
            seriesRunning = running;
        }
        if (!text.isEmpty())
            out << QDateTime::currentDateTime().toString(Qt::ISODate) << ' ' << text << '\n'
                << Qt::flush;
        return;
    }
    awaited.erase(code);
    if (awaited.empty() && loop)
        finish(Ok);
}

void Orvctl::stop()
{
    finish(watching ? Ok : Interrupted);
}

int Orvctl::wait(int timeoutMs)
{
    QEventLoop events;
    loop = &events;
    if (timeoutMs >= 0)
        QTimer::singleShot(timeoutMs, &events, [&events] { events.exit(-1); });
    const int code = events.exec();
    loop = nullptr;
    return code;
}

void Orvctl::finish(int code)
{
    if (loop)
        loop->exit(code);
}

void Orvctl::send(std::uint8_t code, std::int32_t value)
{
    const report::Command command = report::buildCommand(code, value);
    link->HID_vWrite(command.data(), command.size());
}

int Orvctl::ask(const std::vector<StatusCode> &codes)
{
    awaited.clear();
    for (StatusCode code : codes) {
        awaited[code] = true;
        answers.erase(code);
    }
    for (StatusCode code : codes)
        send(code, 0);
    const int code =
        wait(std::max(kAnswerFloorMs, int(codes.size() + kAnswerCycles) * iLinkPeriodMs));
    if (code == NoDevice)
        err << "orvctl: the ORV was unplugged\n";
    // A request still unanswered at the time-out is shown as not reported.
    return code == NoDevice || code == Interrupted ? code : Ok;
}

const std::uint8_t *Orvctl::answer(std::uint8_t code) const
{
    const auto it = answers.find(code);
    return it == answers.end() ? nullptr
                               : reinterpret_cast<const std::uint8_t *>(it->second.constData());
}

int Orvctl::status(bool json)
{
    if (const int code =
            ask({std::begin(report::kStateRequests), std::end(report::kStateRequests)});
        code != Ok)
        return code;
    std::vector<std::uint8_t> codes{StatusFirmware, StatusBattery, StatusCharge};
    for (const settings::Setting &s : settings::kAll)
        codes.push_back(s.status);
    // Never asked for: the ORV reports its series' state when it changes.
    codes.push_back(StatusInterState);
    QJsonObject object;
    QStringList lines;
    for (std::uint8_t code : codes) {
        const std::uint8_t *p = answer(code);
        const auto [value, text] = p ? valueOf(p) : std::pair<QJsonValue, QString>();
        object.insert(nameOf(code), value);
        lines << nameOf(code) + QStringLiteral(": ") +
                     (value.isNull() ? QStringLiteral("not reported") : text);
    }
    if (json)
        out << QJsonDocument(object).toJson();
    else
        out << lines.join(QLatin1Char('\n')) << '\n';
    return Ok;
}

int Orvctl::set(const QString &name, const QString &text)
{
    const settings::Setting &s = *settings::find(name.toStdString());
    const std::int32_t value = settings::parse(s, text.toStdString(), leds).value;
    const settings::Setting *other =
        s.status == StatusSensitivityMin   ? settings::find("sensitivity-max")
        : s.status == StatusSensitivityMax ? settings::find("sensitivity-min")
                                           : nullptr;
    std::vector<StatusCode> readBack{s.status};
    if (other) {
        if (const int code = ask({other->status}); code != Ok)
            return code;
        const std::uint8_t *p = answer(other->status);
        if (!p) {
            err << "orvctl: the ORV did not report " << other->name << "; nothing sent\n";
            return NoDevice;
        }
        const auto current = std::int32_t(settings::reported(*other, p, leds).value_or(0));
        if (const auto moved = settings::thresholdInterlock(s, value, current)) {
            send(other->command, *moved);
            readBack.push_back(other->status);
        }
    }
    send(s.command, value);
    if (const int code = ask(readBack); code != Ok)
        return code;
    for (StatusCode code : readBack) {
        const settings::Setting &shown = code == s.status ? s : *other;
        const std::uint8_t *p = answer(code);
        const auto reported = p ? settings::reported(shown, p, leds) : std::nullopt;
        out << shown.name << ": "
            << (reported ? QString::fromStdString(settings::format(shown, *reported))
                         : QStringLiteral("not reported"))
            << '\n';
    }
    if (!answer(s.status)) {
        err << "orvctl: sent, but the ORV did not report " << s.name << " back\n";
        return NoDevice;
    }
    return Ok;
}

int Orvctl::watch()
{
    watching = true;
    out << "watching the ORV; Ctrl+C ends\n" << Qt::flush;
    send(StatusInterNrShot, 0); // the series' length, for the shot numbers
    const int code = wait(-1);
    watching = false;
    return code == Ok ? Ok : NoDevice;
}

QString Orvctl::nameOf(std::uint8_t code)
{
    switch (code) {
    case StatusFirmware:
        return QStringLiteral("firmware");
    case StatusBattery:
        return QStringLiteral("battery");
    case StatusCharge:
        return QStringLiteral("charging");
    case StatusInterState:
        return QStringLiteral("intervalometer");
    }
    const settings::Setting *s = settings::forStatus(code);
    return s ? QString::fromLatin1(s->name) : QString();
}

std::pair<QJsonValue, QString> Orvctl::valueOf(const std::uint8_t *p) const
{
    switch (p[0]) {
    case StatusFirmware: {
        const QString version = QString::asprintf("%02d.%02d", report::payloadVersion(p).major,
                                                  report::payloadVersion(p).minor);
        return {version, version};
    }
    case StatusBattery:
        return {report::payloadU8(p), QString::number(report::payloadU8(p))};
    case StatusCharge:
        return {report::payloadFlag(p),
                report::payloadFlag(p) ? QStringLiteral("yes") : QStringLiteral("no")};
    case StatusInterState: {
        const std::uint8_t *total = answer(StatusInterNrShot);
        const QString of = total && report::payloadU16(total) > 0
                               ? QStringLiteral("/%1").arg(report::payloadU16(total))
                               : QString();
        QString text;
        switch (report::payloadU8(p)) {
        case InterInactive:
            text = QStringLiteral("intervalometer inactive");
            break;
        case InterWaitFirst:
            text = QStringLiteral("waiting for the first exposure");
            break;
        case InterExposing:
            text = QStringLiteral("exposure %1%2 in progress").arg(shot).arg(of);
            break;
        case InterWaitNext:
            text = QStringLiteral("waiting for exposure %1%2").arg(shot + 1).arg(of);
            break;
        default:
            return {};
        }
        return {text, text};
    }
    }
    const settings::Setting *s = settings::forStatus(p[0]);
    const auto value = s ? settings::reported(*s, p, leds) : std::nullopt;
    if (!value)
        return {};
    const QString text = QString::fromStdString(settings::format(*s, *value));
    const bool number = s->kind == settings::Kind::Number || s->kind == settings::Kind::Led;
    return {number ? QJsonValue(qint64(*value)) : QJsonValue(text), text};
}

QString Orvctl::describe(const QByteArray &status) const
{
    const auto *p = reinterpret_cast<const std::uint8_t *>(status.constData());
    const auto [value, text] = valueOf(p);
    // The series' state stands alone. A shot number has no name: it comes with the state that
    // follows, as in the window.
    if (p[0] == StatusInterState)
        return text;
    if (nameOf(p[0]).isEmpty())
        return {};
    return nameOf(p[0]) + QStringLiteral(": ") +
           (value.isNull() ? QStringLiteral("not reported") : text);
}
