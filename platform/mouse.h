// Mouse buttons as the handlers receive them.
#pragma once

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
