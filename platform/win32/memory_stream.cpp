#include "platform/win32/memory_stream.h"

#include <windows.h>

bool StreamOverBytes(const std::string& bytes, ScopedComPtr<IStream>* stream) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
  if (!memory) return false;
  if (void* data = GlobalLock(memory)) {
    if (!bytes.empty()) CopyMemory(data, bytes.data(), bytes.size());
    GlobalUnlock(memory);
  }
  // The stream frees the memory when it is released.
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE,
                                   reinterpret_cast<IStream**>(stream->ReceiveVoid())))) {
    GlobalFree(memory);
    return false;
  }
  ULARGE_INTEGER size;
  size.QuadPart = bytes.size();
  return SUCCEEDED((*stream)->SetSize(size));
}

std::optional<std::string> BytesOfStream(IStream* stream) {
  HGLOBAL memory = nullptr;
  LARGE_INTEGER zero = {};
  ULARGE_INTEGER end = {};
  if (FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &end)) ||
      FAILED(GetHGlobalFromStream(stream, &memory))) {
    return std::nullopt;
  }
  const void* data = GlobalLock(memory);
  if (!data) return std::nullopt;
  std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(end.QuadPart));
  GlobalUnlock(memory);
  return bytes;
}
