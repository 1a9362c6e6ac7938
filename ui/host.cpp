// Connects TfrmGalMain to the application backends.
#include "ui/host.h"

TFormHost MakeFormHost(TfrmGalMain& form, const TImage* icon) {
    TFormHost host;
    host.caption = AppTitle;
    host.clientWidth = ClientWidth;
    host.clientHeight = ClientHeight;
    host.image = &form.imgScreen;
    host.shape = &form.Shape1;
    host.timer = &form.tmrTimer;
    host.icon = icon;
    host.onMouseMove = [&form](int x, int y) { form.imgScreenMouseMove(x, y); };
    host.onMouseDown = [&form](TMouseButton button, int x, int y) {
        form.imgScreenMouseDown(button, x, y);
    };
    host.onClose = [&form] { form.Close(); };
    host.isClosed = [&form] { return form.Closed(); };
    return host;
}
