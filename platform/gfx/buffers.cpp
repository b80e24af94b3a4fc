#include "platform/gfx/buffers.h"

#include <cstring>
#include <new>

#include "platform/gfx/validation.h"

namespace kubik::gfx {

std::unique_ptr<BufferStorage> BufferStorage::Create(std::uint32_t length) {
  if (length == 0 || length > kMaxBufferBytes) return nullptr;
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length]());
  if (!bytes) return nullptr;
  return std::unique_ptr<BufferStorage>(new (std::nothrow) BufferStorage(std::move(bytes), length));
}

GfxResult BufferStorage::Lock(const char* call, std::uint32_t offset, std::uint32_t size,
                              void** data) {
  if (data == nullptr) {
    ReportError(call, "null output pointer");
    return GFX_ERROR_INVALID_CALL;
  }
  *data = nullptr;
  if (locked_) {
    ReportError(call, "buffer is already locked");
    return GFX_ERROR_INVALID_CALL;
  }
  // Size 0 maps from offset to the end. 64-bit sums cannot wrap.
  const std::uint64_t end = size == 0 ? std::uint64_t{length_} : std::uint64_t{offset} + size;
  if (offset >= length_ || end > length_) {
    if (size == 0) {
      ReportError(call, "offset %u lies outside the %u-byte buffer", offset, length_);
    } else {
      ReportError(call, "range [%u, %llu) lies outside the %u-byte buffer", offset,
                  static_cast<unsigned long long>(end), length_);
    }
    return GFX_ERROR_INVALID_CALL;
  }
  locked_ = true;
  *data = bytes_.get() + offset;
  return GFX_OK;
}

GfxResult BufferStorage::Unlock(const char* call) {
  if (!locked_) {
    ReportError(call, "buffer is not locked");
    return GFX_ERROR_INVALID_CALL;
  }
  locked_ = false;
  return GFX_OK;
}

std::uint32_t VertexBufferImpl::Release() {
  const std::uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

GfxResult VertexBufferImpl::Lock(std::uint32_t offset, std::uint32_t size, void** data,
                                 std::uint32_t /*flags*/) {
  return storage_->Lock("VertexBuffer::Lock", offset, size, data);
}

GfxResult VertexBufferImpl::Unlock() {
  return storage_->Unlock("VertexBuffer::Unlock");
}

std::uint32_t IndexBufferImpl::Release() {
  const std::uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

GfxResult IndexBufferImpl::Lock(std::uint32_t offset, std::uint32_t size, void** data,
                                std::uint32_t /*flags*/) {
  return storage_->Lock("IndexBuffer::Lock", offset, size, data);
}

GfxResult IndexBufferImpl::Unlock() {
  return storage_->Unlock("IndexBuffer::Unlock");
}

std::uint32_t IndexBufferImpl::IndexAt(std::uint32_t i) const {
  const std::uint8_t* at = storage_->data() + std::size_t{i} * IndexSize();
  if (format_ == FORMAT_INDEX32) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  std::uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace kubik::gfx
