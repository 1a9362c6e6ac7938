// The backends' view of the game window: caption, client size, components and handlers.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/app.h"
#include "ui/form.h"

// The window description of form for a backend; icon may be null. The host refers to form's
// members, so form must outlive it.
TFormHost MakeFormHost(TfrmGalMain& form, const TImage* icon = nullptr);

// What one step of a settle did: nothing, as a person is awaited, the timer is off or the window
// closed; nothing yet, as the computer's search has no result; or one tick.
enum class TSettleStep { Awaited, Searching, Ticked };

// One step of SettleForm, for a caller that may not wait for the search (a page's thread): the
// tick that starts a search holds its thread until the tick is over, so that tick never finds the
// search done, however fast the machine.
TSettleStep SettleStep(TfrmGalMain& form, const std::function<void()>& tick);

// Ticks until a person is awaited or the timer stops, at most maxTicks; returns the ticks given.
// A running search is waited for between ticks (up to a minute each time) rather than ticked
// through, so what happens does not depend on the machine's speed. tick delivers one tick.
int64_t SettleForm(TfrmGalMain& form, const std::function<void()>& tick, int64_t maxTicks);
