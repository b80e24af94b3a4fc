// Vertex and index buffers: plain memory with a lock flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/gfx/gfx.h"

namespace kubik::gfx {

// Largest buffer the layer creates; bigger requests fail as out of memory
// instead of asking the allocator for absurd sizes.
inline constexpr std::uint32_t kMaxBufferBytes = 64u << 20;

// The storage and locking rules both buffer kinds share.
class BufferStorage {
 public:
  // Null when the memory cannot be had.
  static std::unique_ptr<BufferStorage> Create(std::uint32_t length);

  GfxResult Lock(const char* call, std::uint32_t offset, std::uint32_t size, void** data);
  GfxResult Unlock(const char* call);

  const std::uint8_t* data() const { return bytes_.get(); }
  std::uint32_t length() const { return length_; }
  bool locked() const { return locked_; }

 private:
  BufferStorage(std::unique_ptr<std::uint8_t[]> bytes, std::uint32_t length)
      : bytes_(std::move(bytes)), length_(length) {}

  std::unique_ptr<std::uint8_t[]> bytes_;
  std::uint32_t length_;
  bool locked_ = false;
};

class VertexBufferImpl final : public VertexBuffer {
 public:
  VertexBufferImpl(std::unique_ptr<BufferStorage> storage, std::uint32_t format)
      : storage_(std::move(storage)), format_(format) {}

  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override;
  GfxResult Lock(std::uint32_t offset, std::uint32_t size, void** data,
                 std::uint32_t flags) override;
  GfxResult Unlock() override;

  const BufferStorage& storage() const { return *storage_; }
  std::uint32_t format() const { return format_; }

 private:
  std::unique_ptr<BufferStorage> storage_;
  std::uint32_t format_;
  std::uint32_t references_ = 1;
};

class IndexBufferImpl final : public IndexBuffer {
 public:
  IndexBufferImpl(std::unique_ptr<BufferStorage> storage, Format format)
      : storage_(std::move(storage)), format_(format) {}

  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override;
  GfxResult Lock(std::uint32_t offset, std::uint32_t size, void** data,
                 std::uint32_t flags) override;
  GfxResult Unlock() override;

  const BufferStorage& storage() const { return *storage_; }
  std::uint32_t IndexSize() const { return format_ == FORMAT_INDEX32 ? 4 : 2; }
  std::uint32_t IndexCount() const { return storage_->length() / IndexSize(); }
  // The index at position i; i must be below IndexCount().
  std::uint32_t IndexAt(std::uint32_t i) const;

 private:
  std::unique_ptr<BufferStorage> storage_;
  Format format_;
  std::uint32_t references_ = 1;
};

}  // namespace kubik::gfx
