#pragma once
// Key material shared with the toolbar: both sides derive the launch key from this constant.
// 128 lowercase hexadecimal characters.
inline constexpr char kLaunchSeed[] = "0a6cdca2437a6a6a34a89b871732744a998be76645f0cdfafabbde3dbf02467a"
                                      "f06f9a3e1c599136c829a230c9778b1b764831666174440a3177e639e194851a";
static_assert(sizeof(kLaunchSeed) == 129, "the seed constant has 128 characters");
