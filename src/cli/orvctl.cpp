#include "orvctl.h"

#include "deviceaccess.h"
#include "hidthread.h"
#include "identity.h"
#include "statusreading.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// How long answers may take: the link's cycles with a margin, never less than the floor.
constexpr int kAnswerCycles = 25;
constexpr int kAnswerFloorMs = 2000; // for a short cycle on a slow machine (tests, valgrind)
constexpr int kConnectMs = 3000;
// Answers are read as they come, not one per cycle; bounded, so that a flood cannot hold a
// cycle.
constexpr int kReadsPerCycle = 32;

const std::pair<int, const char *> kExits[] = {
    {Orvctl::Ok, "done"},
    {Orvctl::NoDevice, "no ORV connected, or it was unplugged or stopped answering"},
    {Orvctl::Usage, "bad usage, a value out of range, or several ORVs and none chosen: nothing "
                    "was sent"},
    {Orvctl::Denied, "an ORV is plugged in but cannot be opened (the message says why)"},
    {Orvctl::Hangup, "hung up (HUP)"},
    {Orvctl::Interrupted, "interrupted by Ctrl+C"},
    {Orvctl::Terminated, "terminated (TERM)"},
};

// Larger than any settings file: what a hostile or mistaken input is cut off at.
constexpr qint64 kMaxSettingsFile = 64 << 10;

// Reports that carry no setting, as status and watch name them.
const std::pair<std::uint8_t, const char *> kOtherNames[] = {
    {StatusFirmware, "firmware"},
    {StatusBattery, "battery"},
    {StatusCharge, "charging"},
    {StatusInterState, "intervalometer"},
};

// A report's name, as status and watch print it, or as a JSON key (a setting's with its unit).
QString nameOf(std::uint8_t code, bool json = false)
{
    for (const auto &[status, name] : kOtherNames)
        if (status == code)
            return QLatin1String(name);
    const orv::Setting *s = orv::settingFor(code);
    if (!s)
        return {};
    return json ? QString::fromStdString(orv::jsonKey(*s)) : QLatin1String(s->name);
}

QString seriesText(const orv::SeriesProgress &p)
{
    const QString of = p.total ? QStringLiteral("/%1").arg(p.total) : QString();
    switch (p.step) {
    case orv::SeriesStep::Inactive:
        return QStringLiteral("intervalometer inactive");
    case orv::SeriesStep::WaitingFirst:
        return QStringLiteral("waiting for the first exposure");
    case orv::SeriesStep::Exposing:
        return QStringLiteral("exposure %1%2 in progress").arg(p.exposure).arg(of);
    case orv::SeriesStep::Waiting:
        return QStringLiteral("waiting for exposure %1%2").arg(p.exposure).arg(of);
    }
    return {};
}

// ISO 8601 with milliseconds and the UTC offset, which Qt writes as Z where it is zero.
QString timestamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 3600,
                             std::abs(offset) % 3600 / 60);
}

} // namespace

const Orvctl::Command Orvctl::kCommands[] = {
    {"status", "status [--json]",
     "The firmware, battery, charge and every setting, as the ORV reports them. A value it\n"
     "does not report shows as such (null in JSON). Where the ORV holds a value outside the\n"
     "window's range, the value the window shows comes first, then what the ORV reported\n"
     "(in JSON, under \"reported\"; the LED as its PWM duty). JSON keys carry their unit\n"
     "(inhibit_ms); without an ORV, --json prints {\"connected\": false, \"error\": ...}.",
     "--json", &Orvctl::checkStatus, &Orvctl::status},
    {"set", "set SETTING VALUE [SETTING VALUE]...",
     "Sets settings, as the window takes them typed, and prints what the ORV then reports.\n"
     "All are checked first: a value out of range is refused and nothing is sent. The\n"
     "sensitivity thresholds never cross: one that reaches the other first moves that one\n"
     "past it, and both given together go in the order that keeps them apart.",
     nullptr, &Orvctl::checkSet, &Orvctl::set},
    {"apply", "apply FILE",
     "Sends the settings of FILE (- for standard input), which status --json printed, where\n"
     "they differ from what the ORV holds; what is only reported (firmware, battery...) is\n"
     "left alone. All are checked first, as for set.",
     nullptr, &Orvctl::checkApply, &Orvctl::apply},
    {"interval", "interval start|stop",
     "Starts or stops the intervalometer with the settings the ORV holds.", "start stop",
     &Orvctl::checkInterval, &Orvctl::interval},
    {"watch", "watch [--json] [--wait]",
     "Prints each report as the ORV sends it (shots, the end of a series, battery), with the\n"
     "time, until Ctrl+C (exit status 0) or until the ORV is unplugged (exit status 1).\n"
     "--json: one JSON object a line. --wait: starts before the ORV is plugged in and goes on\n"
     "across unplugging and plugging in again, until a signal ends it.",
     "--json --wait", &Orvctl::checkWatch, &Orvctl::watch},
    {"lag", "lag start | lag read LEDS",
     "start: the ORV measures the camera's shutter lag and shows it on its eight LEDs.\n"
     "read: LEDS are those LEDs left to right across both rows, 1 lit and 0 dark\n"
     "(10001001 is 137 ms); nothing is sent.",
     "start read", &Orvctl::checkLag, &Orvctl::lag},
    {"list", "list [--json]",
     "The ORVs plugged in, one a line: each one's device node and serial number, either of\n"
     "which --device takes.",
     "--json", &Orvctl::checkList, &Orvctl::list},
    {"help", "help [COMMAND]", "This help, or a command's, as COMMAND --help prints it.", nullptr,
     &Orvctl::checkHelp, &Orvctl::help},
};

Orvctl::Orvctl(QTextStream &out, QTextStream &err, int iLinkPeriodMs)
    : out(out), err(err), iLinkPeriodMs(iLinkPeriodMs), leds(computeLedBrightnessTable())
{
}

Orvctl::~Orvctl()
{
    delete link; // stops the link's thread before this object goes
}

const Orvctl::Command *Orvctl::findCommand(const QString &name)
{
    for (const Command &c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

QString Orvctl::takeFlags(Call &call, const QStringList &known)
{
    for (const QString &arg : call.args) {
        if (!known.contains(arg))
            return QStringLiteral("unexpected argument '%1'").arg(arg);
        if (call.args.count(arg) > 1)
            return QStringLiteral("%1 given twice").arg(arg);
    }
    call.json = call.args.contains(QLatin1String("--json"));
    call.wait = call.args.contains(QLatin1String("--wait"));
    return {};
}

QString Orvctl::checkStatus(Call &call)
{
    return takeFlags(call, {QStringLiteral("--json")});
}

// Both thresholds given: they must stay apart, whatever the ORV holds.
QString thresholdsApart(const std::vector<std::pair<const orv::Setting *, qint32>> &values)
{
    std::map<StatusCode, qint32> given;
    for (const auto &[setting, value] : values)
        given[setting->status] = value;
    if (given.count(StatusSensitivityMin) && given.count(StatusSensitivityMax) &&
        given[StatusSensitivityMin] >= given[StatusSensitivityMax])
        return QStringLiteral("sensitivity-min must stay below sensitivity-max");
    return {};
}

QString Orvctl::checkSet(Call &call)
{
    if (call.args.isEmpty())
        return QStringLiteral("SETTING and VALUE missing");
    for (int i = 0; i < call.args.size(); i += 2) {
        const orv::Setting *setting = orv::findSetting(call.args[i].toStdString());
        if (!setting)
            return QStringLiteral("'%1' is not a setting").arg(call.args[i]);
        if (i + 1 == call.args.size())
            return QStringLiteral("VALUE missing for '%1'").arg(call.args[i]);
        for (const auto &given : call.values)
            if (given.first == setting)
                return QStringLiteral("'%1' given twice").arg(call.args[i]);
        const orv::Parsed parsed = orv::parse(*setting, call.args[i + 1].toStdString());
        if (!parsed.error.empty())
            return QString::fromStdString(parsed.error);
        call.values.emplace_back(setting, parsed.value);
    }
    return thresholdsApart(call.values);
}

QString Orvctl::checkApply(Call &call)
{
    if (call.args.size() != 1)
        return call.args.isEmpty() ? QStringLiteral("FILE missing")
                                   : QStringLiteral("unexpected argument '%1'").arg(call.args[1]);
    const QString path = call.args[0];
    QFile file(path);
    if (!(path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                     : file.open(QIODevice::ReadOnly)))
        return QStringLiteral("cannot read '%1': %2").arg(path, file.errorString());
    const QByteArray data = file.read(kMaxSettingsFile + 1);
    if (data.size() > kMaxSettingsFile)
        return QStringLiteral("'%1' is larger than settings can be").arg(path);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (!document.isObject())
        return QStringLiteral("'%1' is not what status --json prints: %2")
            .arg(path, error.error ? error.errorString() : QStringLiteral("no object"));
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        QStringList readOnly{QStringLiteral("connected"), QStringLiteral("reported")};
        for (const auto &other : kOtherNames)
            readOnly << QLatin1String(other.second);
        if (readOnly.contains(key) || it->isNull()) // reported only, or not reported
            continue;
        const orv::Setting *setting = nullptr;
        for (const orv::Setting &s : orv::kSettings)
            if (key == QString::fromStdString(orv::jsonKey(s)))
                setting = &s;
        if (!setting)
            return QStringLiteral("'%1' is not a setting").arg(key);
        // The text a user would type for the value: orvctl set's rules, once.
        QString text = it->toString();
        if (it->isBool())
            text = QLatin1String(setting->words[it->toBool()]);
        else if (it->isDouble())
            text = QString::number(it->toDouble(), 'g', 17);
        const orv::Parsed parsed = orv::parse(*setting, text.toStdString());
        if (!parsed.error.empty())
            return QStringLiteral("%1: %2").arg(key, QString::fromStdString(parsed.error));
        call.values.emplace_back(setting, parsed.value);
    }
    return thresholdsApart(call.values);
}

QString Orvctl::checkInterval(Call &call)
{
    if (call.args.isEmpty())
        return QStringLiteral("start or stop missing");
    if (call.args[0] != QLatin1String("start") && call.args[0] != QLatin1String("stop"))
        return QStringLiteral("'%1' is neither start nor stop").arg(call.args[0]);
    return call.args.size() > 1 ? QStringLiteral("unexpected argument '%1'").arg(call.args[1])
                                : QString();
}

QString Orvctl::checkList(Call &call)
{
    call.device = false;
    return takeFlags(call, {QStringLiteral("--json")});
}

QString Orvctl::checkWatch(Call &call)
{
    return takeFlags(call, {QStringLiteral("--json"), QStringLiteral("--wait")});
}

QString Orvctl::checkLag(Call &call)
{
    const QString what = call.args.value(0);
    const int count = what == QLatin1String("read") ? 2 : 1;
    if (what.isEmpty())
        return QStringLiteral("start or read missing");
    if (what != QLatin1String("start") && count == 1)
        return QStringLiteral("'%1' is neither start nor read").arg(what);
    if (call.args.size() < count)
        return QStringLiteral("LEDS missing");
    if (call.args.size() > count)
        return QStringLiteral("unexpected argument '%1'").arg(call.args[count]);
    call.device = count == 1;
    if (!call.device && !orv::lagMilliseconds(call.args[1].toStdString()))
        return QStringLiteral("LEDS is eight 0 or 1, not '%1'").arg(call.args[1]);
    return {};
}

QString Orvctl::checkHelp(Call &call)
{
    call.device = false;
    if (call.args.size() > 1)
        return QStringLiteral("unexpected argument '%1'").arg(call.args[1]);
    if (!call.args.isEmpty() && !findCommand(call.args[0]))
        return QStringLiteral("'%1' is not a command").arg(call.args[0]);
    return {};
}

void Orvctl::listenForSignals(int fd)
{
    signalFd = fd;
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    // By name: Qt 5.15 has two activated() signals, one of them private.
    connect(notifier, SIGNAL(activated(QSocketDescriptor, QSocketNotifier::Type)), this,
            SLOT(onSignalPipe()));
}

void Orvctl::onSignalPipe()
{
    unsigned char number = 0;
    while (read(signalFd, &number, 1) == 1)
        stop(number);
}

void Orvctl::stop(int signal)
{
    if (!signalled)
        signalled = signal;
    finish(watching && signalled == SIGINT ? Ok : Interrupted);
}

int Orvctl::run(const QStringList &args)
{
    const int code = dispatch(args);
    if (signalled == SIGTERM)
        return Terminated;
    return signalled == SIGHUP ? Hangup : code;
}

int Orvctl::dispatch(const QStringList &allArgs)
{
    QStringList args = allArgs;
    if (args.value(0) == QLatin1String("--device") || args.value(0) == QLatin1String("-d")) {
        if (args.size() < 2 || args[1].isEmpty()) {
            err << "orvctl: --device takes a device node or a serial number (orvctl list)\n";
            return Usage;
        }
        selector = args[1].toStdString();
        args = args.mid(2);
    }
    const QString name = args.value(0);
    if (name == QLatin1String("--version")) {
        out << "orvctl " << orv::kVersion << '\n';
        return Ok;
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printHelp(out, nullptr);
        return Ok;
    }
    // For the bash completion, not for users: the words that may follow the given ones.
    if (name == QLatin1String("__complete")) {
        for (const QString &word : completions(args.mid(1)))
            out << word << '\n';
        return Ok;
    }
    const Command *command = findCommand(name);
    if (!command) {
        err << "orvctl: "
            << (name.isEmpty() ? QStringLiteral("no command given")
                               : QStringLiteral("'%1' is not a command").arg(name))
            << '\n';
        printHelp(err, nullptr);
        return Usage;
    }
    Call call;
    call.args = args.mid(1);
    if (call.args.contains(QLatin1String("--help")) || call.args.contains(QLatin1String("-h"))) {
        printHelp(out, command);
        return Ok;
    }
    // Everything the user typed is checked before anything reaches the ORV.
    if (const QString error = command->check(call); !error.isEmpty()) {
        err << "orvctl " << command->name << ": " << error << "; nothing sent\n"
            << "usage: orvctl " << command->usage << "   (orvctl help " << command->name
            << " for more)\n";
        return Usage;
    }
    if (call.device)
        if (const int code = connectDevice(call.wait); code != Ok) {
            // A script reading JSON gets JSON, whatever happened.
            if (call.json)
                out << QJsonDocument(QJsonObject{{QStringLiteral("connected"), false},
                                                 {QStringLiteral("error"), lastError}})
                           .toJson(command->act == &Orvctl::watch ? QJsonDocument::Compact
                                                                  : QJsonDocument::Indented)
                    << (command->act == &Orvctl::watch ? "\n" : "");
            return code;
        }
    return (this->*command->act)(call);
}

QStringList Orvctl::completions(const QStringList &typed)
{
    QStringList words;
    if (typed.isEmpty()) {
        for (const Command &c : kCommands)
            words << QLatin1String(c.name);
        return words << QStringLiteral("--help") << QStringLiteral("--version");
    }
    const Command *command = findCommand(typed[0]);
    if (!command)
        return {};
    const QString name = QLatin1String(command->name);
    // set takes pairs: a setting's name, then one of its values.
    if (name == QLatin1String("set") && typed.size() % 2) {
        for (const orv::Setting &s : orv::kSettings)
            words << QLatin1String(s.name);
        return typed.size() == 1 ? words << QStringLiteral("--help") : words;
    }
    if (typed.size() == 1) {
        if (name == QLatin1String("help"))
            for (const Command &c : kCommands)
                words << QLatin1String(c.name);
        else
            words = QString::fromLatin1(command->words).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return words << QStringLiteral("--help");
    }
    // A setting's value: its words, or its levels where there are only a few.
    const orv::Setting *s = orv::findSetting(typed.last().toStdString());
    if (name == QLatin1String("set") && s) {
        if (s->kind == orv::Kind::Choice)
            return {QLatin1String(s->words[0]), QLatin1String(s->words[1])};
        if (s->max - s->min < 10)
            for (int value = s->min; value <= s->max; ++value)
                words << QString::number(value);
    }
    return words;
}

void Orvctl::printHelp(QTextStream &to, const Command *command) const
{
    if (!command) {
        to << "usage: orvctl [--device PATH|SERIAL] COMMAND [ARGUMENT]...   (orvctl help COMMAND\n"
              "       for more; --device chooses among several ORVs, as orvctl list shows them)\n"
              "       orvctl --version\n"
              "commands:\n";
        for (const Command &c : kCommands)
            to << "  orvctl " << c.usage << '\n';
        return;
    }
    to << "usage: orvctl " << command->usage << '\n' << command->help << '\n';
    if (command->act == &Orvctl::set) {
        to << "SETTING is one of:\n";
        for (const orv::Setting &s : orv::kSettings)
            to << "  " << QString::fromLatin1(s.name).leftJustified(16)
               << QString::fromStdString(orv::describe(s)) << '\n';
    }
    to << "Exit status:\n";
    for (const auto &[code, meaning] : kExits)
        to << "  " << QString::number(code).leftJustified(4) << meaning << '\n';
}

int Orvctl::help(const Call &call)
{
    printHelp(out, call.args.isEmpty() ? nullptr : findCommand(call.args[0]));
    return Ok;
}

int Orvctl::fail(int code, const QString &message, const QString &more)
{
    lastError = message;
    err << "orvctl: " << message << '\n' << more;
    return code;
}

int Orvctl::connectDevice(bool waitForIt)
{
    const DeviceAccess access = probeDeviceAccess(orv::kVendorId, orv::kProductId, selector);
    const QString path = QString::fromStdString(access.path);
    int code = Ok;
    if (access.state == DeviceAccess::Ambiguous) {
        QString listed;
        for (const ListedDevice &d : listDevices(orv::kVendorId, orv::kProductId))
            listed += QStringLiteral("  %1  %2\n")
                          .arg(QString::fromStdString(d.path), QString::fromStdString(d.serial));
        // Guessing could start a series on the wrong camera.
        return fail(Usage, QStringLiteral("several ORVs are plugged in; choose one"),
                    listed + QStringLiteral("with: orvctl --device PATH|SERIAL COMMAND...\n"));
    }
    if (access.state == DeviceAccess::Absent && !selector.empty()) {
        code =
            fail(NoDevice, QStringLiteral("no ORV at %1 or with that serial number (orvctl list)")
                               .arg(QString::fromStdString(selector)));
    } else if (access.state == DeviceAccess::Absent) {
        code = fail(NoDevice, QStringLiteral("no ORV connected (looked for USB device %1:%2)")
                                  .arg(orv::kVendorId, 4, 16, QLatin1Char('0'))
                                  .arg(orv::kProductId, 4, 16, QLatin1Char('0')));
    } else if (access.state == DeviceAccess::Refused) {
        const QString why = QString::fromLocal8Bit(std::strerror(access.error));
        if (access.error == EACCES || access.error == EPERM)
            code = fail(
                Denied, QStringLiteral("ORV found at %1 but access denied: %2").arg(path, why),
                QStringLiteral(
                    "The udev rule 70-orvcontrol.rules gives access to the user logged in at\n"
                    "this machine's seat, and to the group plugdev. Over SSH, join the group\n"
                    "(sudo adduser %1 plugdev, or as root: adduser %1 plugdev), then log in\n"
                    "again. Without the rule, install the orvcontrol package, or from the source\n"
                    "tree: scripts/install.sh --udev-rule; then unplug the ORV and plug it in.\n")
                    .arg(qEnvironmentVariable("USER", QStringLiteral("USER"))));
        else
            code =
                fail(Denied,
                     QStringLiteral("ORV found at %1 but it cannot be opened: %2").arg(path, why));
    }
    if (code != Ok && !waitForIt)
        return code;
    if (code != Ok)
        err << "orvctl: waiting for the ORV\n" << Qt::flush;
    link = new hidthread(nullptr, iLinkPeriodMs);
    connect(link, &hidthread::HID_vConnectedSignal, this, &Orvctl::onConnected);
    connect(link, &hidthread::HID_vInputMessageSignal, this, &Orvctl::onReport);
    link->HID_vSelect(selector);
    link->HID_vConfigure(orv::kVendorId, orv::kProductId, report::kInputReportLength);
    link->HID_vSetReadsPerCycle(kReadsPerCycle);
    link->start();
    if (waitForIt)
        return Ok;
    code = wait(kConnectMs);
    if (code == Interrupted)
        return Interrupted;
    if (code != Ok || !connected)
        return fail(NoDevice,
                    QStringLiteral("the ORV at %1 went away before it could be opened").arg(path));
    return Ok;
}

void Orvctl::onConnected(bool bStatus)
{
    connected = bStatus;
    if (watching) {
        event(QStringLiteral("connected"), bStatus,
              bStatus ? QStringLiteral("ORV connected") : QStringLiteral("ORV unplugged"));
        if (bStatus)
            link->HID_vSendCommand(StatusInterNrShot, 0); // the series' length, for shot numbers
        if (bStatus || watchAcross)
            return;
    }
    finish(bStatus ? Ok : NoDevice);
}

void Orvctl::event(const QString &key, const QJsonValue &value, const QString &text)
{
    if (watchJson)
        out << QJsonDocument(QJsonObject{{QStringLiteral("time"), timestamp()}, {key, value}})
                   .toJson(QJsonDocument::Compact)
            << '\n';
    else
        out << timestamp() << ' ' << text << '\n';
    out << Qt::flush;
}

void Orvctl::onReport(QByteArray qbaData)
{
    const orv::Reading reading =
        orv::read(reinterpret_cast<const std::uint8_t *>(qbaData.constData()), leds);
    if (reading.code == StatusInterShot)
        shot = *reading.value;
    answers[reading.code] = qbaData;
    if (watching) {
        // A shot number has no line: it comes with the state that follows, as in the window.
        const auto [value, text] = valueOf(reading);
        if (reading.code == StatusInterState) {
            const bool running = *reading.value != InterInactive;
            const QString state = seriesRunning && !running ? QStringLiteral("series ended") : text;
            seriesRunning = running;
            if (!state.isEmpty())
                event(nameOf(reading.code), state, state);
        } else if (!text.isEmpty()) {
            event(nameOf(reading.code, true), value,
                  nameOf(reading.code) + QStringLiteral(": ") + text);
        }
        return;
    }
    awaited.erase(reading.code);
    if (awaited.empty() && loop)
        finish(Ok);
}

int Orvctl::wait(int timeoutMs)
{
    if (signalled) // caught before there was a loop to end
        return signalled == SIGINT && watching ? Ok : Interrupted;
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

int Orvctl::ask(const std::vector<StatusCode> &codes)
{
    for (StatusCode code : codes) {
        awaited.insert(code);
        answers.erase(code);
    }
    for (StatusCode code : codes)
        link->HID_vSendCommand(code, 0);
    const int code =
        wait(std::max(kAnswerFloorMs, int(codes.size() + kAnswerCycles) * iLinkPeriodMs));
    awaited.clear();
    if (code == NoDevice)
        fail(NoDevice, QStringLiteral("the ORV was unplugged"));
    // A request still unanswered at the time-out is shown as not reported.
    return code == NoDevice || code == Interrupted ? code : Ok;
}

orv::Reading Orvctl::answer(std::uint8_t code) const
{
    const auto it = answers.find(code);
    if (it == answers.end())
        return {};
    return orv::read(reinterpret_cast<const std::uint8_t *>(it->second.constData()), leds);
}

std::pair<QJsonValue, QString> Orvctl::valueOf(const orv::Reading &r) const
{
    if (r.code == StatusFirmware) {
        const QString version = QString::asprintf("%02d.%02d", r.version.major, r.version.minor);
        return {version, version};
    }
    if (r.code == StatusInterState) {
        const auto progress =
            orv::seriesProgress(*r.value, shot, answer(StatusInterNrShot).value.value_or(0));
        const QString text = progress ? seriesText(*progress) : QString();
        return {text.isEmpty() ? QJsonValue() : QJsonValue(text), text};
    }
    if (r.code == StatusBattery)
        return {*r.value, QString::number(*r.value)};
    if (r.code == StatusCharge)
        return {bool(*r.value), *r.value ? QStringLiteral("yes") : QStringLiteral("no")};
    if (!r.setting)
        return {};
    const auto asReported = [&r] {
        return r.setting->kind == orv::Kind::Led
                   ? QStringLiteral("duty %1").arg(*r.reported)
                   : QString::fromStdString(orv::format(*r.setting, *r.reported));
    };
    if (!r.value)
        return {QJsonValue(), QStringLiteral("unknown (the ORV reported %1)").arg(asReported())};
    QString text = QString::fromStdString(orv::format(*r.setting, *r.value));
    if (r.reported)
        text += QStringLiteral(" (the ORV reported %1)").arg(asReported());
    // On and off are true and false; other choices their word.
    if (r.setting->kind == orv::Kind::Choice)
        return {qstrcmp(r.setting->words[1], "on")
                    ? QJsonValue(QLatin1String(r.setting->words[*r.value]))
                    : QJsonValue(bool(*r.value)),
                text};
    return {*r.value, text};
}

int Orvctl::status(const Call &call)
{
    if (const int code =
            ask({std::begin(report::kStateRequests), std::end(report::kStateRequests)});
        code != Ok)
        return code;
    std::vector<std::uint8_t> codes{StatusFirmware, StatusBattery, StatusCharge};
    for (const orv::Setting &s : orv::kSettings)
        codes.push_back(s.status);
    // Never asked for: the ORV reports its series' state when it changes.
    codes.push_back(StatusInterState);
    QJsonObject object{{QStringLiteral("connected"), true}}, reported;
    QStringList lines;
    for (std::uint8_t code : codes) {
        const orv::Reading r = answer(code);
        const auto [value, text] = valueOf(r);
        object.insert(nameOf(code, true), value);
        if (r.reported)
            reported.insert(nameOf(code, true), qint64(*r.reported));
        lines << nameOf(code) + QStringLiteral(": ") +
                     (text.isEmpty() ? QStringLiteral("not reported") : text);
    }
    object.insert(QStringLiteral("reported"), reported);
    if (call.json)
        out << QJsonDocument(object).toJson();
    else
        out << lines.join(QLatin1Char('\n')) << '\n';
    return Ok;
}

int Orvctl::set(const Call &call)
{
    return sendSettings(call.values, false);
}

int Orvctl::apply(const Call &call)
{
    return sendSettings(call.values, true);
}

int Orvctl::sendSettings(const Values &values, bool changedOnly)
{
    std::vector<StatusCode> asked;
    for (const auto &[setting, value] : values) {
        asked.push_back(setting->status);
        if (const orv::Setting *other = orv::otherThreshold(*setting))
            asked.push_back(other->status);
    }
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    if (const int code = ask(asked); code != Ok)
        return code;
    std::map<const orv::Setting *, qint32> held; // what the ORV shows now
    for (StatusCode status : asked)
        if (const orv::Reading r = answer(status); r.value)
            held[r.setting] = *r.value;

    Values plan;
    for (const auto &wanted : values)
        if (!changedOnly || !held.count(wanted.first) || held[wanted.first] != wanted.second)
            plan.push_back(wanted);
    const auto planned = [&plan](StatusCode status) {
        return std::find_if(plan.begin(), plan.end(),
                            [status](const auto &v) { return v.first->status == status; });
    };
    const auto min = planned(StatusSensitivityMin), max = planned(StatusSensitivityMax);
    for (const auto &[setting, value] : plan)
        if (const orv::Setting *other = orv::otherThreshold(*setting); other && !held.count(other))
            return fail(NoDevice,
                        QStringLiteral("the ORV did not report %1; nothing sent").arg(other->name));
    // Both thresholds, apart as checked: the one that makes room goes first.
    if (min != plan.end() && max != plan.end() && (min->second >= held[max->first]) != (max < min))
        std::iter_swap(min, max);

    std::vector<StatusCode> readBack;
    for (const auto &[setting, value] : plan) {
        const orv::Setting *other = orv::otherThreshold(*setting);
        if (other && planned(other->status) == plan.end())
            if (const auto moved = orv::thresholdInterlock(*setting, value, held[other])) {
                link->HID_vSendCommand(other->command, *moved);
                readBack.push_back(other->status);
                held[other] = *moved;
            }
        link->HID_vSendCommand(setting->command, *orv::commandValue(*setting, value, leds));
        readBack.push_back(setting->status);
    }
    if (plan.empty()) {
        err << "orvctl: the ORV holds these settings already\n";
        return Ok;
    }
    if (const int code = ask(readBack); code != Ok)
        return code;
    for (StatusCode code : readBack) {
        const QString text = valueOf(answer(code)).second;
        out << nameOf(code) << ": " << (text.isEmpty() ? QStringLiteral("not reported") : text)
            << '\n';
    }
    for (const auto &[setting, value] : plan)
        if (!answer(setting->status).code)
            return fail(
                NoDevice,
                QStringLiteral("sent, but the ORV did not report %1 back").arg(setting->name));
    return Ok;
}

int Orvctl::list(const Call &call)
{
    QJsonArray devices;
    for (const ListedDevice &d : listDevices(orv::kVendorId, orv::kProductId)) {
        const QString path = QString::fromStdString(d.path);
        const QString serial = QString::fromStdString(d.serial);
        devices.append(
            QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("serial"), serial}});
        if (!call.json)
            out << path << '\t' << (serial.isEmpty() ? QStringLiteral("-") : serial) << '\n';
    }
    if (call.json)
        out << QJsonDocument(devices).toJson();
    return Ok;
}

int Orvctl::interval(const Call &call)
{
    const bool start = call.args[0] == QLatin1String("start");
    link->HID_vSendCommand(start ? CmdInterStart : CmdInterStop, 0);
    out << "intervalometer " << (start ? "started" : "stopped") << '\n';
    // A command is written at once; the link's next cycle shows whether the ORV is still there.
    return wait(2 * iLinkPeriodMs) == NoDevice ? NoDevice : Ok;
}

int Orvctl::lag(const Call &call)
{
    if (!call.device) {
        out << *orv::lagMilliseconds(call.args[1].toStdString()) << " ms\n";
        return Ok;
    }
    link->HID_vSendCommand(CmdStartLag, 0);
    out << "lag measurement started\n";
    err << "once the ORV shows the result, read its eight LEDs left to right and run:\n"
           "orvctl lag read LEDS (for example 10001001)\n";
    return wait(2 * iLinkPeriodMs) == NoDevice ? NoDevice : Ok;
}

int Orvctl::watch(const Call &call)
{
    watching = true;
    watchJson = call.json;
    watchAcross = call.wait;
    err << "watching the ORV; Ctrl+C ends\n" << Qt::flush;
    if (connected)
        link->HID_vSendCommand(StatusInterNrShot, 0); // the series' length, for shot numbers
    const int code = wait(-1);
    watching = false;
    return code == Ok ? Ok : NoDevice;
}
