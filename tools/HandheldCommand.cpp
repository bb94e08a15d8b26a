#include "tools/HandheldCommand.h"

#include "base/Numbers.h"
#include "base/TextConversion.h"
#include "tools/FieldNames.h"
#include "tools/HandheldSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>

namespace quelvor::tools {
namespace {

constexpr const char* kProgram = "quelvor-handheld";

struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct OptionSpec
{
    const char* name;
    bool takesValue;
    std::vector<std::string> commands; // empty: every command
};

const std::vector<OptionSpec> kOptions = {
    {"host", true, {}},
    {"port", true, {}},
    {"device", true, {}},
    {"company", true, {}},
    {"version", true, {}},
    {"lat", true, {}},
    {"lon", true, {}},
    {"timeout", true, {}},
    {"show-sep", true, {}},
    {"quiet", false, {}},
    {"explain", false, {}},
    {"help", false, {}},
    {"since", true, {"catalogue"}},
    {"ref", true, {"key"}},
    {"code", true, {"load"}},
    {"closed", false, {"load"}},
    {"user", true, {"load", "collection"}},
    {"load", true, {"collection", "tracking"}},
    {"id", true, {"load", "collection", "tracking"}},
    {"producer", true, {"collection"}},
    {"quantity", true, {"collection"}},
    {"set", true, {"load", "collection", "tracking"}},
    {"sep", true, {"raw"}},
    {"no-handshake", false, {"raw"}},
    {"collections", true, {"route"}},
    {"points", true, {"route"}},
    {"route", true, {"load", "route"}},
};

const std::vector<std::string> kCommands = {"handshake",  "catalogue", "key", "load",
                                            "collection", "tracking",  "raw", "route"};

struct CommandLine
{
    std::string command;
    std::vector<std::string> positionals;
    size_t positionalsBeforeEnd = 0;                         // how many of them came before --
    std::map<std::string, std::vector<std::string>> options; // a flag holds one empty value

    bool has(const std::string& name) const { return options.count(name) != 0; }
    std::string value(const std::string& name, const std::string& otherwise = {}) const
    {
        const auto it = options.find(name);
        return it == options.end() ? otherwise : it->second.back();
    }
};

const OptionSpec* findOption(const std::string& name)
{
    for (const OptionSpec& o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

long wholeNumber(const std::string& text, const std::string& what, long low, long high)
{
    const std::optional<long long> parsed = base::parseWhole(text);
    const long long value = parsed.value_or(0);
    if (!parsed || value < low || value > high)
        throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

// A value typed on the command line, as it travels.
std::string wire(const std::string& typed)
{
    try {
        return rawLine(typed, std::nullopt);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

// Options whose values go into request lines.
const std::vector<std::string> kWireOptions = {"device", "company",  "version",  "lat",  "lon",
                                               "since",  "ref",      "code",     "user", "load",
                                               "id",     "producer", "quantity", "route"};

CommandLine parse(const std::vector<std::string>& args)
{
    CommandLine line;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (line.command.empty() && !optionsEnded)
                line.command = arg;
            else
                line.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            if (!optionsEnded)
                line.positionalsBeforeEnd = line.positionals.size();
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::optional<std::string> value;
        if (arg == "-h") {
            name = "help";
        } else if (arg == "-q") {
            name = "quiet";
        } else if (arg.starts_with("--")) {
            const size_t equals = arg.find('=');
            name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
        } else {
            throw UsageError("unknown option " + arg);
        }
        const OptionSpec* option = findOption(name);
        if (!option)
            throw UsageError("unknown option --" + name);
        if (!option->takesValue) {
            if (value)
                throw UsageError("--" + name + " takes no value");
            line.options[name].push_back("");
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size())
                throw UsageError("--" + name + " needs a value");
            value = args[++i];
        }
        line.options[name].push_back(*value);
    }
    if (!optionsEnded)
        line.positionalsBeforeEnd = line.positionals.size();
    // After the command is known: each option must belong to it.
    for (const auto& [name, values] : line.options) {
        const OptionSpec* option = findOption(name);
        if (!option->commands.empty() && std::find(option->commands.begin(), option->commands.end(),
                                                   line.command) == option->commands.end())
            throw UsageError("--" + name + " is not an option of " +
                             (line.command.empty() ? std::string("this command") : line.command));
    }
    // Values become wire bytes here, so that a bad escape is found before
    // anything connects.
    for (auto& [name, values] : line.options) {
        for (std::string& value : values) {
            if (std::find(kWireOptions.begin(), kWireOptions.end(), name) != kWireOptions.end()) {
                value = wire(value);
            } else if (name == "set") {
                const size_t equals = value.find('=');
                if (equals == std::string::npos)
                    throw UsageError("--set takes N=VALUE, not \"" + value + "\"");
                wholeNumber(value.substr(0, equals), "the field number of --set", 0, 255);
                value = value.substr(0, equals + 1) + wire(value.substr(equals + 1));
            }
        }
    }
    return line;
}

std::chrono::milliseconds timeoutOf(const CommandLine& line)
{
    const std::string text = line.value("timeout", "10");
    const auto parsed = base::parseReal(text);
    const double seconds = parsed ? parsed->value : 0;
    if (!parsed || !(seconds > 0) || seconds > 3600)
        throw UsageError("--timeout must be a number of seconds above 0 and up to 3600, not \"" + text +
                         "\"");
    return std::chrono::milliseconds(std::max<long>(1, std::lround(seconds * 1000)));
}

// --set N=V, in order; parse() has checked them.
void applySets(const CommandLine& line, Fields& fields)
{
    const auto it = line.options.find("set");
    if (it == line.options.end())
        return;
    for (const std::string& set : it->second) {
        const size_t equals = set.find('='); // checked by parse()
        setField(fields, std::stoul(set.substr(0, equals)), set.substr(equals + 1));
    }
}

class Reporter
{
public:
    Reporter(std::ostream& out, std::string mark, bool quiet, bool explain)
        : m_out(out), m_mark(std::move(mark)), m_quiet(quiet), m_explain(explain)
    {
    }

    LineObserver observer()
    {
        return [this](Direction direction, const std::string& line) {
            if (m_quiet)
                return;
            m_out << (direction == Direction::Sent ? "> " : "< ") << visibleLine(line, m_mark) << '\n';
            if (m_explain)
                for (const std::string& field : explainLine(direction, line, m_mark))
                    m_out << field << '\n';
            m_out << std::flush;
        };
    }
    // An outcome line; server text in it is shown like the lines.
    void say(const std::string& text) { m_out << text << '\n' << std::flush; }
    std::string show(const std::string& wireText) const { return visibleLine(wireText, m_mark); }

private:
    std::ostream& m_out;
    const std::string m_mark;
    const bool m_quiet;
    const bool m_explain;
};

void sayHandshake(Reporter& r, const HandshakeReply& h, const Handheld& handheld)
{
    r.say("session released for " + r.show(handheld.device) + ": tanks " + r.show(h.tanks) +
          ", validate average " + r.show(h.validateAverage) + ", difference " + r.show(h.difference) +
          ", ignore route " + r.show(h.ignoreRoute) + ", routes " + r.show(h.routes) + ", expected version " +
          r.show(h.expectedVersion) + ", server date " + r.show(h.serverDate));
    if (h.expectedVersion != handheld.version)
        r.say("note: this handheld reports version " + r.show(handheld.version) + "; the server expects " +
              r.show(h.expectedVersion) + " (it only records the difference)");
}

std::string secondsText(std::chrono::milliseconds span)
{
    return base::shortestReal(static_cast<double>(span.count()) / 1000.0) + " s";
}

std::string rowsText(size_t n)
{
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

std::string answerEndText(const Answer& a)
{
    switch (a.end) {
    case AnswerEnd::EndLine:
        return "the end line 9999";
    case AnswerEnd::Refusal:
        return "the refusal 9998 SEM PERMISSAO";
    case AnswerEnd::Bare:
        return "9999 without separator (the answer to 0000)";
    }
    return {};
}

// Draws a key unless the option names the load.
std::string loadCodeOf(const CommandLine& line, const std::string& option, HandheldSession& session,
                       Reporter& r)
{
    if (line.has(option))
        return line.value(option);
    const std::string key = session.drawKey("1");
    r.say("drew the load key " + r.show(key));
    return key;
}

// The lines of raw as they will travel.
std::vector<std::string> rawLinesOf(const CommandLine& line)
{
    if (line.positionals.empty())
        throw UsageError("raw needs at least one line to send");
    std::optional<char> separator;
    if (line.has("sep")) {
        const std::string sep = line.value("sep");
        if (sep.size() != 1 || static_cast<unsigned char>(sep[0]) >= 0x80 || sep[0] == '\\')
            throw UsageError("--sep takes one ASCII character other than a backslash");
        separator = sep[0];
    }
    std::vector<std::string> lines;
    for (const std::string& typed : line.positionals) {
        try {
            lines.push_back(rawLine(typed, separator));
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
    }
    return lines;
}

int runRaw(const CommandLine& line, const std::vector<std::string>& lines, HandheldConnection& connection,
           HandheldSession& session, Reporter& r, std::ostream& err)
{
    if (!line.has("no-handshake"))
        sayHandshake(r, session.handshake(), session.handheld());

    int status = 0;
    for (const std::string& raw : lines) {
        // The server answers nothing at all to a line of fewer than two fields.
        const bool answerless = raw.find(kStx) == std::string::npos && !raw.starts_with("0000");
        try {
            const Answer a = connection.request(raw);
            r.say("answer: " + std::to_string(a.lines.size()) + (a.lines.size() == 1 ? " line" : " lines") +
                  ", ended by " + answerEndText(a));
            if (a.refused()) {
                err << kProgram << ": the server refused (9998 SEM PERMISSAO)\n";
                status = static_cast<int>(Failure::Refused);
            }
        } catch (const HandheldError& e) {
            if (!(answerless && e.timedOut()))
                throw;
            r.say("no answer within " + secondsText(connection.timeout()) +
                  ": the server answers nothing to a line without separator (fewer than two fields)");
        }
    }
    return status;
}

int run(const CommandLine& line, std::ostream& out, std::ostream& err)
{
    if (line.command.empty())
        throw UsageError("no command given");
    if (std::find(kCommands.begin(), kCommands.end(), line.command) == kCommands.end())
        throw UsageError("unknown command \"" + line.command + "\"");
    if (line.command != "raw" && line.command != "catalogue" && !line.positionals.empty())
        throw UsageError(line.command + " takes no argument \"" + line.positionals[0] + "\"");

    Handheld handheld;
    handheld.device = line.value("device", handheld.device);
    handheld.company = line.value("company", handheld.company);
    handheld.version = line.value("version", handheld.version);
    handheld.latitude = line.value("lat", handheld.latitude);
    handheld.longitude = line.value("lon", handheld.longitude);
    const std::string host = line.value("host", "127.0.0.1");
    const int port = static_cast<int>(wholeNumber(line.value("port", "7010"), "--port", 1, 65535));
    const auto timeout = timeoutOf(line);

    // Everything about the command line is checked before connecting.
    std::string catalogue;
    if (line.command == "catalogue") {
        if (line.positionals.size() != 1)
            throw UsageError("catalogue takes one name: routes, producers, users, reasons or parameters");
        const auto code = catalogueCode(line.positionals[0]);
        if (!code)
            throw UsageError("no catalogue \"" + line.positionals[0] +
                             "\": routes, producers, users, reasons, parameters or 1001 to 1005");
        catalogue = *code;
    }
    std::vector<std::string> rawLines;
    if (line.command == "raw") {
        rawLines = rawLinesOf(line);
        // After -- every argument is a line, an option's name included: say so,
        // since that is rarely what was meant.
        for (size_t i = line.positionalsBeforeEnd; i < line.positionals.size(); ++i) {
            const std::string& typed = line.positionals[i];
            if (typed.starts_with("--") && findOption(typed.substr(2, typed.find('=') - 2)))
                err << kProgram << ": note: \"" << typed
                    << "\" stands after -- and goes out as a line; options go before --\n";
        }
    }
    RouteOptions route;
    if (line.command == "route") {
        route.collections =
            static_cast<int>(wholeNumber(line.value("collections", "5"), "--collections", 0, 100000));
        route.points = static_cast<int>(wholeNumber(line.value("points", "10"), "--points", 0, 100000));
        route.route = line.value("route");
    }

    if (line.has("explain") && line.has("quiet"))
        throw UsageError("--explain names the fields of the lines that --quiet hides");
    Reporter r(out, line.value("show-sep", "|"), line.has("quiet"), line.has("explain"));
    HandheldConnection connection(host, port, timeout, r.observer());
    HandheldSession session(connection, handheld);

    if (line.command == "raw")
        return runRaw(line, rawLines, connection, session, r, err);

    if (line.command == "route") {
        RouteReport report;
        try {
            runRoute(session, route, report);
        } catch (const HandheldError& e) {
            if (e.failure() == Failure::Route) {
                for (const std::string& problem : report.problems)
                    err << kProgram << ": warning: " << r.show(problem) << '\n';
                err << kProgram << ": route " << r.show(report.route)
                    << " not driven: no load key drawn, nothing uploaded\n";
                return static_cast<int>(Failure::Route);
            }
            if (!report.loadCode.empty())
                r.say("stopped on load " + r.show(report.loadCode) + " after " +
                      std::to_string(report.collectionsAcknowledged) + " collections and " +
                      std::to_string(report.pointsAcknowledged) + " tracking points acknowledged");
            throw;
        }
        sayHandshake(r, report.handshake, handheld);
        std::string rows;
        for (size_t i = 0; i < kCatalogueCodes.size(); ++i)
            rows += (i ? ", " : "") + rowsText(report.catalogueRows[i]) + " of " +
                    catalogueName(kCatalogueCodes[i]);
        r.say("catalogues: " + rows);
        r.say("route " + r.show(report.route) + " done: load " + r.show(report.loadCode) + " opened, " +
              std::to_string(report.collectionsAcknowledged) + " collections and " +
              std::to_string(report.pointsAcknowledged) + " tracking points acknowledged, load closed");
        return 0;
    }

    const HandshakeReply reply = session.handshake();
    if (line.command == "handshake") {
        sayHandshake(r, reply, handheld);
        return 0;
    }
    if (line.command == "catalogue") {
        const std::string since = line.value("since");
        const CatalogueRows rows = session.catalogue(catalogue, since);
        r.say(catalogueName(catalogue) + " (" + catalogue + ")" +
              (since.empty() ? "" : " changed after " + r.show(since)) + ": " + rowsText(rows.size()));
        return 0;
    }
    if (line.command == "key") {
        const std::string reference = line.value("ref", "1");
        r.say("load key " + r.show(session.drawKey(reference)) + " (reference " + r.show(reference) + ")");
        return 0;
    }

    const auto now = std::chrono::system_clock::now();
    Fields fields;
    std::string what;
    if (line.command == "load") {
        Load load;
        load.code = loadCodeOf(line, "code", session, r);
        load.localId = line.value("id", load.localId);
        load.user = line.value("user", load.user);
        load.route = line.value("route", load.route);
        load.date = dateText(now);
        load.start = timestampText(now);
        if (line.has("closed")) {
            load.end = timestampText(now);
            load.finished = "S";
        }
        fields = loadFields(handheld, load);
        what = "load " + r.show(load.code);
    } else if (line.command == "collection") {
        Collection c;
        c.loadCode = loadCodeOf(line, "load", session, r);
        c.localId = line.value("id", c.localId);
        c.producer = line.value("producer", c.producer);
        c.quantity = line.value("quantity", c.quantity);
        c.user = line.value("user", c.user);
        c.when = timestampText(now);
        fields = collectionFields(handheld, c);
        what = "collection " + r.show(c.localId) + " of load " + r.show(c.loadCode);
    } else {
        TrackingPoint p;
        p.openLoad = loadCodeOf(line, "load", session, r);
        p.localId = line.value("id", p.localId);
        p.when = timestampText(now);
        fields = trackingFields(handheld, p);
        what = "tracking point " + r.show(p.localId) + " of load " + r.show(p.openLoad);
    }
    applySets(line, fields);
    session.upload(fields);
    r.say(what + " acknowledged");
    return 0;
}

} // namespace

std::string handheldUsage()
{
    return R"(Usage: quelvor-handheld [options] <command> [command options]

Talks to a Quelvor server as a milk-collection handheld does and shows every
line: "> " what was sent, "< " what came back, each STX separator shown as "|"
(see --show-sep) and any other control byte as \xHH. Text goes out in
Windows-1252 and is shown in UTF-8. Every command opens the session with the
handshake first (except raw --no-handshake), and all its requests share one
connection, since the server keeps a session per connection.

Commands:
  handshake             open the session (1000) and show the handheld's
                        settings from the 2000 line
  catalogue NAME [--since N]
                        download a catalogue: routes (1001), producers (1002),
                        users (1003), reasons (1004) or parameters (1005);
                        with --since, only the rows changed after the change
                        sequence number N
  key [--ref R]         draw a load key (4001, answered by 5001); the
                        reference R is echoed (default 1)
  load [--code K] [--id I] [--closed] [--route R] [--user U]
                        upload a load (6001, acknowledged by 7001), open
                        unless --closed; without --code a key is drawn first
  collection [--load K] [--id I] [--producer P] [--quantity Q] [--user U]
                        upload a collection (6002, acknowledged by 7002) of
                        load K; without --load a key is drawn first
  tracking [--load K] [--id I]
                        upload a tracking point (6003, acknowledged by 7003)
  raw [--sep C] [--no-handshake] [--] LINE...
                        send each LINE exactly as typed, bad input included,
                        and show the answer. In LINE, \xHH is the byte HH
                        (\x02 is STX) and \\ a backslash; with --sep, every C
                        is an STX too (--sep '|'). The handshake goes first
                        unless --no-handshake. A line without separator gets
                        no answer at all; that is reported after --timeout.
                        Options may stand before or after the lines; -- ends
                        them, and every argument after it is a line: put --
                        before a LINE that begins with -, the options before.
  route [--collections N] [--points M] [--route R]
                        a whole route: the handshake, the five catalogues, a
                        load key, the load sent open, N collections (default
                        5) at the route's producers with M tracking points
                        (default 10) in between, and the load sent closed.
                        A route without active producers, or not one of the
                        handheld's routes in its 2000 line, is not driven: a
                        warning, nothing sent for it, exit status 5

Options:
  --host H              server address (default 127.0.0.1)
  --port P              server port (default 7010)
  --device D            handheld identifier (default DEMO-01)
  --company C           company identifier (default 1)
  --version V           handheld application version (default 1.0.0)
  --lat X, --lon Y      position that every request carries
  --timeout S           seconds to wait for the connection and for every
                        reply line (default 10; fractions allowed)
  --set N=V             load, collection, tracking: field N of the request
                        (0 is the type code) becomes V; repeatable; V takes
                        the escapes of raw
  --show-sep T          how an STX separator is shown (default |)
  --explain             under every line, each field by position with its
                        name (the names of docs/protocol.md)
  -q, --quiet           show only the outcome, not the lines
  -h, --help            this text

Exit status:
  0  done, every answer as a handheld expects it
  1  the server refused (9998 SEM PERMISSAO): company, handheld or session
  2  no connection, the server closed it, or no reply line within --timeout
  3  wrong command line
  4  an answer a handheld cannot use: an upload not acknowledged, no load key,
     a catalogue whose row count is not the announced one
  5  route: the route has no active producers or is not one of the
     handheld's routes
)";
}

int runHandheldCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    try {
        const CommandLine line = parse(args);
        if (line.has("help")) {
            out << handheldUsage();
            return 0;
        }
        return run(line, out, err);
    } catch (const UsageError& e) {
        err << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
        return static_cast<int>(Failure::Usage);
    } catch (const HandheldError& e) {
        const char* kind = e.failure() == Failure::Refused      ? "refused: "
                           : e.failure() == Failure::Connection ? "connection: "
                           : e.failure() == Failure::Usage      ? ""
                           : e.failure() == Failure::Route      ? "route: "
                                                                : "unexpected answer: ";
        // Server text in the message travels in Windows-1252, like the lines.
        err << kProgram << ": " << kind << visibleLine(e.what(), "|") << '\n';
        return static_cast<int>(e.failure());
    }
}

} // namespace quelvor::tools
