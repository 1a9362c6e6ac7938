// The messages between a page and melvaron-server: one JSON object per WebSocket text message,
// each with a "type". Every shape is declared here once; docs/PROTOCOL.md shows them with
// examples. A message that breaks its shape (unknown type, unknown or missing field, a value out
// of range) closes the connection with the policy-violation code; one that is well formed but
// not allowed now (a move out of turn, a spent invitation) is answered with "refused" and changes
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/game_events.h"

namespace protocol {

// ---- Limits ----

// The largest message either side sends, in bytes; a bigger frame closes the connection.
constexpr std::size_t MaxMessageBytes = 4096;
// A seat's secret and an invitation: random bytes from the system, written as lowercase hex.
constexpr int SecretBytes = 16; // 128 bits
constexpr int SecretDigits = SecretBytes * 2;
// A game's id: random too, so that ids say nothing of how many games there are, but not secret.
constexpr int GameIdBytes = 8;
constexpr int GameIdDigits = GameIdBytes * 2;
// The path of the WebSocket endpoint on the site.
constexpr const char* PlayPath = "/play";

// ---- From a page ----

enum class TRequest {
    Create,         // {"type":"create"}: a new game, the sender is player 1
    Join,           // {"type":"join","game":ID,"invitation":HEX}: take seat 2
    Hello,          // {"type":"hello","game":ID,"secret":HEX,"last":N}: back to a seat
    Move,           // {"type":"move","secret":HEX,"cell":C,"after":N}: a put of the sender's
    TakeBack,       // {"type":"takeback","secret":HEX,"after":N}: ask to take back one's put
    TakeBackAnswer, // {"type":"takeback_answer","secret":HEX,"accept":B,"after":N}
    Record,         // {"type":"record","secret":HEX}: the game's record as text
};

// A page's message once its shape is checked; only the fields of its type are set.
struct TClientMessage {
    TRequest type = TRequest::Create;
    std::string game;    // join, hello: the game's id
    std::string secret;  // join: the invitation; every other but create: the seat's secret
    int64_t last = 0;    // hello: the number of the latest event the page holds (0: none)
    int64_t after = 0;   // move, takeback, takeback_answer: the latest event the sender had seen
    int cell = 0;        // move: a board cell, row x 14 + column
    bool accept = false; // takeback_answer
};

// The name of a request's type, as the "type" field and "refused" messages spell it.
const char* RequestName(TRequest type);

// Reads one message of a page; false with a one-line reason (never quoting a secret) when the
// text breaks its shape.
bool ParseClientMessage(std::string_view text, TClientMessage& out, std::string& error);

// ---- Events: what happened in a game, numbered from 1 ----

// {"type":"event","n":N,"kind":KIND,...}; the server stores each event's text and sends the
// same text to both seats, so a page that missed some is sent exactly those. The events
// themselves, and what may follow what, are the engine's (engine/game_events.h).
using game_events::TEndReason;
using game_events::TEvent;
using game_events::TEventKind;

const char* EventKindName(TEventKind kind);
std::string EventText(const TEvent& event);
// Reads an event's text strictly (the store's texts, the load client, the tests).
bool ParseEvent(std::string_view text, TEvent& out, std::string& error);

// ---- Other messages to a page ----

// {"type":"created","game":ID,"seat":1,"secret":HEX,"invitation":HEX}
std::string CreatedText(const std::string& game, const std::string& secret,
                        const std::string& invitation);
// {"type":"joined","game":ID,"seat":2,"secret":HEX}
std::string JoinedText(const std::string& game, const std::string& secret);
// {"type":"welcome","game":ID,"seat":S,"last":N,"reset":B}: the server's latest event; with
// reset the page forgets what it holds, for every event from 1 follows.
std::string WelcomeText(const std::string& game, int seat, int64_t last, bool reset);
// {"type":"presence","player":P,"here":B}: whether player P has a connection open.
std::string PresenceText(int player, bool here);
// {"type":"refused","request":TYPE,"reason":TEXT,"last":N}: nothing changed; last is the latest
// event the sender may hold (0 before a seat is taken).
std::string RefusedText(const char* request, const std::string& reason, int64_t last);
// {"type":"record","game":ID,"text":RECORD}
std::string RecordText(const std::string& game, const std::string& record);

} // namespace protocol
