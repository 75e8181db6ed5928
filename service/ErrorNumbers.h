#pragma once
// The error numbers callers show: 0 success, -1 end of input or time-out, 3..41 decoding, transport and
// TLS failures, 201..599 HTTP statuses.
namespace ErrorNumbers {

// Maps an error code of the SOAP runtime to the numbering the messages use.
int FromRuntime(int code);

} // namespace ErrorNumbers
