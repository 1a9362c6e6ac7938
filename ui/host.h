// The backends' view of the game window: caption, client size, components and handlers.
#pragma once

#include "platform/app.h"
#include "ui/form.h"

// The window description of form for a backend; icon may be null. The host refers to form's
// members, so form must outlive it.
TFormHost MakeFormHost(TfrmGalMain& form, const TImage* icon = nullptr);
