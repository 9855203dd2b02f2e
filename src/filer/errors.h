// Failures of a conversion. Every failure carries the name of its class (as
// the host sees it in the last-failure text) and a UTF-8 message.
#pragma once

#include <exception>
#include <string>

namespace kdx {

class KdxError : public std::exception {
 public:
  KdxError(const char* class_name, std::string message)
      : class_name_(class_name), message_(std::move(message)) {}
  const char* ClassName() const noexcept { return class_name_; }
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  const char* class_name_;
  std::string message_;
};

// Failure class names.
inline constexpr const char* kException = "Exception";
inline constexpr const char* kEConvertException = "EConvertException";
inline constexpr const char* kEKDInvalidDoc = "EKDInvalidDoc";
inline constexpr const char* kESmetaXMLError = "ESmetaXMLError";
inline constexpr const char* kEOrvakFilerError = "EOrvakFilerError";
inline constexpr const char* kEOrvakFilerInvalidSignature = "EOrvakFilerInvalidSignature";
inline constexpr const char* kEReadError = "EReadError";
inline constexpr const char* kEListError = "EListError";
inline constexpr const char* kERangeError = "ERangeError";
// Exhausted memory, and an XML larger than the conversion's bound.
inline constexpr const char* kEOutOfMemory = "EOutOfMemory";

// Messages shared by several layers.
inline constexpr const char* kMsgBadStreamData = "Неверный формат данных в потоке";
inline constexpr const char* kMsgStreamRead = "Stream read error";
inline constexpr const char* kMsgOutOfMemory = "Out of memory";

[[noreturn]] void Raise(const char* class_name, std::string message);
[[noreturn]] void RaiseReadError();         // EReadError "Stream read error"
[[noreturn]] void RaiseBadData();           // EOrvakFilerError, bad data in the stream
[[noreturn]] void RaiseInvalidSignature();  // EOrvakFilerInvalidSignature
// EOutOfMemory "Out of memory: the XML would be larger than <limit> bytes".
[[noreturn]] void RaiseXmlTooLarge(unsigned long long limit);

}  // namespace kdx
