// web: the viewer's routes. serve runs the HTTP server on 127.0.0.1 until the quit route.
#pragma once

#include <string>

#include "app.h"
#include "http/request.h"
#include "webroute.h"

namespace murex {

// Listens on port 7777 (or one the system picks), prints the address, serves forever;
// returns only by ending the process.
[[noreturn]] void serve(App& app);

// Answers one request from the application state; raises what the reports and the
// period selection raise (serve answers those).
WebAnswer webCallback(App& app, const http::Request& request);

// The request handler's answer: webCallback's, or the answer to the error it raised, with
// the period it may have half changed put back.
WebAnswer answerRequest(App& app, const http::Request& request);

// The page's one script: its kit, the charts, the keyboard and the rows first, then the page
// script that uses them. One file, so that opening the page asks for one file only.
const std::string& pageScript();

}  // namespace murex
