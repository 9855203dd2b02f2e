#include "filer/errors.h"

namespace kdx {

void Raise(const char* class_name, std::string message) {
  throw KdxError(class_name, std::move(message));
}
void RaiseReadError() { throw KdxError(kEReadError, kMsgStreamRead); }
void RaiseBadData() { throw KdxError(kEOrvakFilerError, kMsgBadStreamData); }
void RaiseInvalidSignature() { throw KdxError(kEOrvakFilerInvalidSignature, kMsgBadStreamData); }
void RaiseXmlTooLarge(unsigned long long limit) {
  throw KdxError(kEOutOfMemory, std::string(kMsgOutOfMemory) + ": the XML would be larger than " +
                                    std::to_string(limit) + " bytes");
}

}  // namespace kdx
