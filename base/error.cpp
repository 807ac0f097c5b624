#include "base/error.h"

#include <new>

#include "base/cp932.h"

namespace orba {

std::string CurrentErrorText() {
  try {
    throw;
  } catch (const EOrbaError& e) {
    return ToUtf8(e.what());
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace orba
