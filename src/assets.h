// assets: the web page, style sheet, script and images, compiled into the program from
// the files of assets/ (each file a.b becomes the constant a_b). Nothing is read at run time.
#pragma once

#include <string_view>

namespace murex::assets {

// The page template with its [placeholders], the manual (manual.html) put in by the build.
extern const std::string_view page_html;
extern const std::string_view style_css;
// The parts of the page's one script, served as script.js in this order: the shared kit, the
// drawing kit, the charts, the keyboard shortcuts, the rows of a report, the page.
extern const std::string_view kit_js;
extern const std::string_view draw_js;
extern const std::string_view chart_js;
extern const std::string_view keys_js;
extern const std::string_view register_js;
extern const std::string_view script_js;
extern const std::string_view murex_svg;    // the logo
extern const std::string_view favicon_svg;
extern const std::string_view favicon_png;  // 113 by 113 pixels

}  // namespace murex::assets
