// The messages between a page and melvaron-server: one JSON object per WebSocket text message,
// each with a "type". Every shape is declared here once; docs/PROTOCOL.md shows them with
// examples, and the page's facts are generated from these declarations. A message that breaks
// its shape (unknown type, unknown, missing or repeated field, a value out of range) closes the
// connection with the policy-violation code; one that is well formed but not allowed now (a move
// out of turn, a spent invitation) is answered with "refused", whose code says what the page is
// to do, and changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/sha256.h"
#include "engine/game_events.h"

namespace protocol {

// ---- Limits ----

// The largest message either side sends, in bytes; a bigger frame closes the connection.
constexpr std::size_t MaxMessageBytes = 4096;
// A seat's secret and an invitation: 128 random bits, written as lowercase hex. A page makes its
// seat's secret itself (and keeps it before sending it), so that a request sent again after a
// lost answer is the same request.
constexpr int SecretBytes = 16; // 128 bits
constexpr int SecretDigits = SecretBytes * 2;
// A game's id: made from the creator's secret, so it says nothing of how many games there are,
// but it is not secret.
constexpr int GameIdBytes = 8;
constexpr int GameIdDigits = GameIdBytes * 2;
// The digest of a history of events that a page's hello carries (SHA-256, lowercase hex).
constexpr int DigestDigits = sha256::DigestDigits;
// The path of the WebSocket endpoint on the site.
constexpr const char* PlayPath = "/play";

// The most events a game holds. A take-back ask is refused when it would leave less room than
// finishing the game can take, so every game can still end.
constexpr int64_t MaxEvents = 2000;
// Take-back asks of one player that the other may decline in a row; the next is refused until
// the asker has put again.
constexpr int MaxDeclinedInARow = 3;
// The most events a page is sent at once while it catches up; the rest follow as its connection
// drains.
constexpr int CatchUpWindow = 128;
// An invitation nobody used is good for this long; then its game is gone.
constexpr int64_t InvitationSeconds = 24 * 60 * 60;

// ---- Close codes ----

constexpr uint16_t CloseGoingAway = 1001; // the server is stopping
constexpr uint16_t ClosePolicy = 1008;    // a message broke its shape, or a limit of the connection
constexpr uint16_t CloseTooBig = 1009;    // a frame beyond MaxMessageBytes
constexpr uint16_t CloseInternal = 1011;  // the server failed the connection's game: come back
// A newer connection of the same seat took this one's place (a fifth tab, a device that came
// back before its old connection was seen gone): the page does not come back by itself.
constexpr uint16_t CloseReplaced = 4001;

// ---- Refusals ----

// What a refused request tells the page to do.
enum class TRefusal {
    Gone,   // "gone": no such game, or it expired; forget the seat
    Secret, // "secret": the secret or the invitation opens no seat; forget the seat
    Again,  // "again": the server cannot now (its store, a busy moment); wait and send it again
    Rules,  // "rules": not allowed by the rules or the connection's state now
    Step,   // "step": out of step; what the sender missed follows
    Limit,  // "limit": a limit was met (games per address, take-back asks, a game's events)
};
constexpr int Refusals = 6;
inline constexpr const char* RefusalNames[Refusals] = {"gone",  "secret", "again",
                                                       "rules", "step",   "limit"};
const char* RefusalName(TRefusal code);

// ---- From a page ----

enum class TRequest {
    Create,         // {"type":"create","secret":HEX}: a new game, the sender is player 1
    Join,           // {"type":"join","game":ID,"invitation":HEX,"secret":HEX}: take seat 2
    Hello,          // {"type":"hello","game":ID,"secret":HEX,"last":N,"digest":HEX64}: back
    Move,           // {"type":"move","secret":HEX,"cell":C,"after":N}: a put of the sender's
    TakeBack,       // {"type":"takeback","secret":HEX,"after":N}: ask to take back one's put
    TakeBackAnswer, // {"type":"takeback_answer","secret":HEX,"accept":B,"after":N}
    Record,         // {"type":"record","secret":HEX}: the game's record as text
};

// A page's message once its shape is checked; only the fields of its type are set.
struct TClientMessage {
    TRequest type = TRequest::Create;
    std::string game;       // join, hello: the game's id
    std::string secret;     // the seat's secret (create and join: the one the page made)
    std::string invitation; // join
    std::string digest;     // hello: of the events 1..last the page holds
    int64_t last = 0;       // hello: the number of the latest event the page holds (0: none)
    int64_t after = 0;      // move, takeback, takeback_answer: the latest event the sender saw
    int cell = 0;           // move: a board cell, row x 14 + column
    bool accept = false;    // takeback_answer
};

// The name of a request's type, as the "type" field and "refused" messages spell it.
const char* RequestName(TRequest type);

// Reads one message of a page; false with a one-line reason (never quoting a secret) when the
// text breaks its shape.
bool ParseClientMessage(std::string_view text, TClientMessage& out, std::string& error);

// The digest a hello carries: SHA-256 over the texts of events 1..last, each followed by "\n".
// A history is fed one event text at a time.
class THistoryDigest {
  public:
    void Add(std::string_view eventText) {
        FHash.Update(eventText);
        FHash.Update("\n");
    }
    std::string Hex() const { return FHash.Hex(); }

  private:
    sha256::TSha256 FHash;
};

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
// {"type":"refused","request":TYPE,"code":CODE,"reason":TEXT,"last":N}: nothing changed; code
// says what to do, reason is one line for a person, last is the latest event the sender may
// hold (0 before a seat is taken).
std::string RefusedText(const char* request, TRefusal code, const std::string& reason,
                        int64_t last);
// {"type":"record","game":ID,"text":RECORD}
std::string RecordText(const std::string& game, const std::string& record);

} // namespace protocol
