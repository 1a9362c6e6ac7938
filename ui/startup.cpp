// Start-up and shutdown of the window.
#include "ui/form.h"

TfrmGalMain::TfrmGalMain() = default;

TfrmGalMain::~TfrmGalMain() = default;
