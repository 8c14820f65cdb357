// Whether the tests run under Wine rather than on Windows itself.
//
// Where Wine departs from Windows' documented behaviour the tests follow
// Windows, and relax only the assertion that Wine breaks, only under Wine,
// saying why at the place where they do.
#pragma once

namespace quillprobe::testing {

bool RunningUnderWine();

}  // namespace quillprobe::testing
