// web: the viewer's routes. serve runs the HTTP server on 127.0.0.1 until the quit route.
#pragma once

#include "app.h"

namespace murex {

// Listens on port 7777 (or one the system picks), prints the address, serves forever;
// returns only by ending the process.
[[noreturn]] void serve(App& app);

}  // namespace murex
