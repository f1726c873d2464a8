#include "Dialect.h"

namespace {

// The next TAB-separated field from `rest`, which moves past it.
std::string_view NextField(std::string_view &rest)
{
    const size_t tab = rest.find('\t');
    const std::string_view field = rest.substr(0, tab);
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
    return field;
}

LineMeaning ClassifyVantrel(std::string_view line)
{
    using Kind = LineMeaning::Kind;
    std::string_view rest = line;
    const std::string_view code = NextField(rest);
    if (code == "MSG") {
        // To the peer: sender, sender, text. The copy back: peer, sender, text.
        const std::string_view first = NextField(rest);
        const std::string_view second = NextField(rest);
        return {first == second ? Kind::Delivery : Kind::Copy, NextField(rest)};
    }
    if (code == "000")
        return {Kind::Greeting, {}};
    if (code == "001")
        return {NextField(rest) == "0" ? Kind::LoggedOn : Kind::Refused, {}};
    return {};
}

LineMeaning ClassifyIrc(std::string_view line, std::string_view ownId)
{
    using Kind = LineMeaning::Kind;
    if (line.starts_with("PING "))
        return {Kind::Ping, line.substr(5)};
    if (!line.starts_with(':'))
        return {};
    const size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return {};
    const std::string_view prefix = line.substr(1, space - 1);
    std::string_view rest = line.substr(space + 1);
    const std::string_view command = rest.substr(0, rest.find(' '));
    if (command == "PRIVMSG") {
        const size_t colon = rest.find(" :");
        const std::string_view text = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 2);
        const std::string_view nick = prefix.substr(0, prefix.find('!'));
        return {nick == ownId ? Kind::Copy : Kind::Delivery, text};
    }
    if (command == "001")
        return {Kind::LoggedOn, {}};
    if (command == "432" || command == "433" || command == "465")
        return {Kind::Refused, {}};
    return {};
}

} // namespace

std::string OnConnected(Dialect dialect, std::string_view id, std::string_view)
{
    if (dialect == Dialect::Vantrel)
        return {};
    std::string out = "CAP REQ :echo-message\r\nNICK ";
    out += id;
    out += "\r\nUSER load 0 * :";
    out += id;
    out += "\r\nCAP END\r\n";
    return out;
}

std::string LogonRequest(Dialect dialect, std::string_view id, std::string_view password)
{
    if (dialect == Dialect::Irc)
        return {};
    // Id, corporate index, password and the client version 1.0.1.
    std::string out = "000\t";
    out += id;
    out += "\t0\t";
    out += password;
    out += "\t1\t0\t1\t\r\n";
    return out;
}

std::string PingAnswer(Dialect dialect, std::string_view token)
{
    if (dialect == Dialect::Vantrel)
        return {};
    std::string out = "PONG ";
    out += token;
    out += "\r\n";
    return out;
}

void AppendMessage(Dialect dialect, std::string &out, std::string_view partner, std::string_view text)
{
    if (dialect == Dialect::Irc) {
        out += "PRIVMSG ";
        out += partner;
        out += " :";
        out += text;
        out += "\r\n";
        return;
    }
    // The connection number is the server's to check; 0 reaches every
    // connection of the partner.
    out += "MSG\t0\t";
    out += partner;
    out += '\t';
    out += text;
    out += "\t\r\n";
}

LineMeaning Classify(Dialect dialect, std::string_view line, std::string_view ownId)
{
    return dialect == Dialect::Vantrel ? ClassifyVantrel(line) : ClassifyIrc(line, ownId);
}
