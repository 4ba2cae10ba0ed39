#include "model/error.h"

namespace lorvane {

void fail(const std::string& message, int status) { throw Error(message, status); }

}  // namespace lorvane
