#include "ceflib/core/object_bridge.h"

namespace ceflib {

TCefBaseOwn::TCefBaseOwn(size_t size)
    // One block: the back-pointer, then the zeroed record.
    : FBlock(std::make_unique<void*[]>(1 + (size + sizeof(void*) - 1) / sizeof(void*))),
      FData(reinterpret_cast<cef_base_t*>(&FBlock[1])) {
  FBlock[0] = this;
  FData->size = size;
  FData->add_ref = &BridgeAddRef;
  FData->release = &BridgeRelease;
  FData->get_refct = &BridgeGetRefct;
}

TCefBaseOwn::~TCefBaseOwn() = default;

cef_base_t* TCefBaseOwn::Wrap() {
  FData->add_ref(FData);
  return FData;
}

TCefBaseOwn* CefObjectOf(const void* p) noexcept {
  return static_cast<TCefBaseOwn*>(static_cast<void* const*>(p)[-1]);
}

int CEF_CALLBACK TCefBaseOwn::BridgeAddRef(cef_base_t* self) { return CefObjectOf(self)->AddRef(); }
int CEF_CALLBACK TCefBaseOwn::BridgeRelease(cef_base_t* self) { return CefObjectOf(self)->Release(); }
int CEF_CALLBACK TCefBaseOwn::BridgeGetRefct(cef_base_t* self) { return CefObjectOf(self)->RefCount(); }

cef_base_t* TCefBaseRef::Wrap() {
  FEngine.Check();
  if (FData->add_ref) FData->add_ref(FData);
  return FData;
}

RefPtr<ICefBase> TCefBaseRef::UnWrap(void* data) {
  if (!data) return nullptr;
  return Make<TCefBaseRef>(data);
}

}  // namespace ceflib
