#include "service/result.h"

#include <ostream>

namespace service {

std::ostream& operator<<(std::ostream& out, Result result) { return out << Code(result); }

}  // namespace service
