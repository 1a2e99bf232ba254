// Feeds arbitrary bytes to the request reader, whole and in two pieces, and checks that both
// ways agree and that every step stays inside the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http/request.h"
#include "http/response.h"

using namespace murex::http;

namespace {

// Reads every request of buf the way a connection does, each piece arriving at once up to
// split; returns a digest of the steps.
std::string readAll(std::string_view buf, size_t split, int64_t bodyLimit) {
  std::string digest;
  ParseState st;
  size_t start = 0;
  size_t have = std::min(split, buf.size());
  for (int guard = 0; guard < 100000; ++guard) {
    const std::string_view view = buf.substr(start, have - start);
    Step step = parseStep(st, view, bodyLimit);
    if (step.consumed < 0 || step.consumed > std::ssize(view) || st.pos > std::ssize(view)) abort();
    if (step.kind == StepKind::NeedMore) {
      if (have == buf.size()) {
        digest += "end:" + answerAtEnd(st, view);
        return digest;
      }
      have = buf.size();
      continue;
    }
    digest += std::to_string(static_cast<int>(step.kind)) + ":" + step.answer;
    if (step.kind == StepKind::Interim) continue;
    if (step.kind == StepKind::Request) {
      digest += st.request.method + " " + st.request.path + "?" + st.request.query + " " +
                st.request.body + (step.keepAlive ? " ka" : " close");
      for (const auto& [k, v] : st.request.headers.entries) digest += k + std::to_string(v.size());
    }
    start += static_cast<size_t>(step.consumed);
    st = ParseState{};
    if (step.kind == StepKind::Error && step.close) return digest;
    if (step.kind == StepKind::Request && !step.keepAlive) return digest;
  }
  abort();  // a step that consumes nothing and repeats would hang a connection
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t split = data[0] * 256u + data[1];
  const std::string_view buf(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string whole = readAll(buf, buf.size(), 4096);
  const std::string pieces = readAll(buf, split, 4096);
  // Interim answers appear once either way; only need-more points may differ.
  if (whole != pieces) abort();
  return 0;
}
