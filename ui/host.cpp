// Connects TfrmGalMain to the application backends.
#include "ui/host.h"

#include "platform/thread.h"

#include <chrono>
#include <optional>
#include <thread>

TFormHost MakeFormHost(TfrmGalMain& form, const TImage* icon) {
    TFormHost host;
    host.caption = AppTitle;
    host.clientWidth = ClientWidth;
    host.clientHeight = ClientHeight;
    host.image = &form.imgScreen;
    host.shape = &form.Shape1;
    host.timer = &form.tmrTimer;
    host.icon = icon;
    host.overlay = &form.ovlKeyCursor;
    host.speech = &form.accSpoken;
    host.onMouseMove = [&form](int x, int y) { form.imgScreenMouseMove(x, y); };
    host.onMouseDown = [&form](TMouseButton button, int x, int y) {
        form.imgScreenMouseDown(button, x, y);
    };
    host.onKeyDown = [&form](TKey key, bool shift) { return form.FormKeyDown(key, shift); };
    host.onClose = [&form] { form.CloseBox(); };
    host.onQuit = [&form] { form.Close(); };
    host.isClosed = [&form] { return form.Closed(); };
    return host;
}

TSettleStep SettleStep(TfrmGalMain& form, const std::function<void()>& tick) {
    if (form.Closed() || !form.tmrTimer.Enabled || form.FState <= gsAwaitedMax)
        return TSettleStep::Awaited;
    if (form.FState == gsThinking && form.FSearch && form.FSearch->FResult.load() == ResultNotReady)
        return TSettleStep::Searching;
    if (form.FState == gsStartThink) {
        // The search starts after the tick: its own poll never finds it done.
        TThread::TDeferredStarts deferred;
        tick();
    } else {
        tick();
    }
    return TSettleStep::Ticked;
}

int64_t SettleForm(TfrmGalMain& form, const std::function<void()>& tick, int64_t maxTicks) {
    using Clock = std::chrono::steady_clock;
    int64_t ticks = 0;
    std::optional<Clock::time_point> deadline; // for the search's result
    while (ticks < maxTicks) {
        switch (SettleStep(form, tick)) {
        case TSettleStep::Awaited:
            return ticks;
        case TSettleStep::Ticked:
            deadline.reset();
            ++ticks;
            break;
        case TSettleStep::Searching:
            if (!deadline) deadline = Clock::now() + std::chrono::minutes(1);
            if (Clock::now() < *deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            } else {
                // A search that never answers: the tick polls it as the timer would.
                deadline.reset();
                tick();
                ++ticks;
            }
            break;
        }
    }
    return ticks;
}
