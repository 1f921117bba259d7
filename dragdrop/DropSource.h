#pragma once
// Unit DropSource: TInterfacedComponent, a component that is at the same time a
// reference-counted interface object, so that the drag-and-drop layer can hold interface
// references to it.
//
// The component of the toolkit is a QObject: its owner is the QObject parent, its `Name` the
// object name; `Tag` is a plain integer. The interfaces are modelled on the platform's COM
// interfaces: an interface identifier (TGUID), QueryInterface answering from the interfaces the
// class declares, AddRef and Release changing the count atomically.
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

// An interface identifier, laid out like the platform's GUID.
struct TGUID {
    uint32_t D1;
    uint16_t D2;
    uint16_t D3;
    uint8_t D4[8];
    friend constexpr bool operator==(const TGUID &a, const TGUID &b)
    {
        if (a.D1 != b.D1 || a.D2 != b.D2 || a.D3 != b.D3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.D4[i] != b.D4[i])
                return false;
        return true;
    }
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr TGUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000122-0000-0000-C000-000000000046}
inline constexpr TGUID IID_IDropTarget = {0x00000122, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Result codes of the interface operations.
inline constexpr int32_t S_OK = 0;
inline constexpr int32_t E_NOINTERFACE = int32_t(0x80004002u);

// The base interface: the query for other interfaces and the reference count.
class IUnknown {
public:
    virtual int32_t QueryInterface(const TGUID &iid, void **object) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

class TInterfacedComponent : public QObject, public virtual IUnknown {
    Q_OBJECT
public:
    explicit TInterfacedComponent(QObject *owner = nullptr);
    ~TInterfacedComponent() override;

    // The toolkit component's name and tag.
    QString Name() const { return objectName(); }
    void SetName(const QString &name) { setObjectName(name); }
    int Tag = 0;

    // IUnknown. QueryInterface answers S_OK with the interface (counted by AddRef) for an
    // interface the class declares, otherwise E_NOINTERFACE with a null object.
    int32_t QueryInterface(const TGUID &iid, void **object) override;
    // Atomic increment; returns the new count.
    int32_t AddRef() override;
    // Atomic decrement; destroys the object when the new count is 0; returns the new count.
    int32_t Release() override;

    int32_t RefCount() const { return FRefCount.load(); }

protected:
    // The interfaces the class declares: IUnknown here; subclasses add theirs and ask the base
    // for the rest. Sets *object to the interface pointer and returns true when declared.
    virtual bool GetInterface(const TGUID &iid, void **object);

private:
    std::atomic<int32_t> FRefCount{0};
};
