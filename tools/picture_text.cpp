#include "tools/picture_text.h"

#include "tools/render_command.h"

std::vector<std::pair<std::string, std::string>> pictureText(const FrameSpec& frame, Colouring colouring)
{
    return pictureText(frame, PictureLook{colouring, 1.0, {}, 1});
}

std::vector<std::pair<std::string, std::string>> pictureText(const FrameSpec& frame, const PictureLook& look)
{
    return {{"Software", "Kavrel " KAVREL_VERSION}, {"Command", renderCommandLine(frame, look, "")}};
}
