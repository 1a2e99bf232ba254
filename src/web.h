// web: the viewer's routes. serve runs the HTTP server on 127.0.0.1 until the quit route.
#pragma once

#include <string>

#include "app.h"
#include "http/request.h"

namespace murex {

// Listens on port 7777 (or one the system picks), prints the address, serves forever;
// returns only by ending the process.
[[noreturn]] void serve(App& app);

struct WebAnswer {
  int status = 200;
  std::string body;
  http::Headers headers;  // "content-type", "location"
  bool quit = false;      // end the process once the answer is sent
};

// Answers one request from the application state; raises what the reports and the
// period selection raise (serve answers those).
WebAnswer webCallback(App& app, const http::Request& request);

// The request handler's answer: webCallback's, or the answer to the error it raised, with
// the period it may have half changed put back.
WebAnswer answerRequest(App& app, const http::Request& request);

// The page's one script: its kit, the charts, the keyboard and the rows first, then the page
// script that uses them. One file, so that opening the page asks for one file only.
const std::string& pageScript();

// The query of the filter route as text: "+" is a blank, "%" and two hex digits a byte.
std::string decodeQuery(std::string_view query);

}  // namespace murex
