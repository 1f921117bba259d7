#include "dragdrop/DropSource.h"

TInterfacedComponent::TInterfacedComponent(QObject *owner) : QObject(owner) {}

TInterfacedComponent::~TInterfacedComponent() = default;

bool TInterfacedComponent::GetInterface(const TGUID &iid, void **object)
{
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown *>(this);
        return true;
    }
    return false;
}

int32_t TInterfacedComponent::QueryInterface(const TGUID &iid, void **object)
{
    if (!object)
        return E_NOINTERFACE;
    *object = nullptr;
    if (GetInterface(iid, object)) {
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

int32_t TInterfacedComponent::AddRef()
{
    return FRefCount.fetch_add(1) + 1;
}

int32_t TInterfacedComponent::Release()
{
    const int32_t count = FRefCount.fetch_sub(1) - 1;
    if (count == 0)
        delete this;
    return count;
}
