#include "filer/errors.h"

namespace kdx {

void Raise(const char* class_name, std::string message) {
  throw KdxError(class_name, std::move(message));
}
void RaiseReadError() { throw KdxError(kEReadError, kMsgStreamRead); }
void RaiseBadData() { throw KdxError(kEOrvakFilerError, kMsgBadStreamData); }
void RaiseInvalidSignature() { throw KdxError(kEOrvakFilerInvalidSignature, kMsgBadStreamData); }

}  // namespace kdx
