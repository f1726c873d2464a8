#pragma once

#include <string>
#include <string_view>

// The two ways of speaking the load generator knows: this system's wire
// (frames of TAB-separated fields ending in CR LF, logon by "000", MSG with a
// copy back to the sender) and IRC with the echo-message capability, whose
// echoed PRIVMSG is the copy back.
enum class Dialect { Vantrel, Irc };

// What one received line means to a load client.
struct LineMeaning {
    enum class Kind { Other, Greeting, LoggedOn, Refused, Copy, Delivery, Ping };
    Kind kind = Kind::Other;
    std::string_view text; // the message text, or the ping's token
};

// Bytes to send as soon as the connection is up (IRC registers at once; our
// wire waits for the greeting).
std::string OnConnected(Dialect dialect, std::string_view id, std::string_view password);
// The answer to the server's greeting ("000"): the logon request.
std::string LogonRequest(Dialect dialect, std::string_view id, std::string_view password);
std::string PingAnswer(Dialect dialect, std::string_view token);
// One message to `partner`, appended to `out`.
void AppendMessage(Dialect dialect, std::string &out, std::string_view partner, std::string_view text);
// A line without its line end.
LineMeaning Classify(Dialect dialect, std::string_view line, std::string_view ownId);
