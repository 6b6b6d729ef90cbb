#include "tools/picture_text.h"

#include "tools/render_command.h"

std::vector<std::pair<std::string, std::string>> pictureText(const FrameSpec& frame, Colouring colouring)
{
    return {{"Software", "Kavrel " KAVREL_VERSION}, {"Command", renderCommandLine(frame, colouring, "")}};
}
