#pragma once
// The program's windows know each other only through hooks; this plugs them
// together once, after all of them exist.

namespace capture {
class TFormEffects;
}
namespace core {
class TFormMode;
}
namespace library {
class TForm2;
}
namespace playback {
class TFormPlayer;
}
namespace tags {
class TFormTag;
}

namespace mainwindow {
class TForm1;

void ConnectWindows(TForm1* form1, library::TForm2* form2, tags::TFormTag* tag,
                    core::TFormMode* mode, playback::TFormPlayer* player,
                    capture::TFormEffects* effects);

} // namespace mainwindow
