// assets: the web page, style sheet, script and images, compiled into the program from
// the files of assets/ (each file a.b becomes the constant a_b). Nothing is read at run time.
#pragma once

#include <string_view>

namespace murex::assets {

extern const std::string_view page_html;    // the page template with its [placeholders]
extern const std::string_view style_css;
extern const std::string_view script_js;
extern const std::string_view chart_js;  // the charts above the reports, served in
extern const std::string_view keys_js;   // script.js with the keyboard shortcuts
extern const std::string_view murex_svg;    // the logo
extern const std::string_view favicon_svg;
extern const std::string_view favicon_png;  // 113 by 113 pixels

}  // namespace murex::assets
