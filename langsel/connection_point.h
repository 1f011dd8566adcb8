// A connection point for one outgoing interface, part of its container
// object: its references are the container's. Sinks are held until they are
// unadvised or the container goes away.
#pragma once

#include <vector>

#include "halcyon/MuiChooser.h"
#include "platform/non_copyable.h"

namespace halcyon::langsel {

class ConnectionPoint final : public IConnectionPoint, NonCopyable {
public:
    ConnectionPoint(IConnectionPointContainer *container, const IID &iid) : container_(container), iid_(iid) {}
    ~ConnectionPoint();

    HRESULT QueryInterface(REFIID riid, void **object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetConnectionInterface(IID *iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer **container) override;
    HRESULT Advise(IUnknown *sink, DWORD *cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections **connections) override;

    size_t SinkCount() const;

private:
    IConnectionPointContainer *container_;
    IID iid_;
    std::vector<IUnknown *> sinks_; // index + 1 is the cookie; null when unadvised
};

// Enumerates one connection point; holds a reference on it (and so on its
// container).
class ConnectionPointEnum final : public IEnumConnectionPoints {
public:
    static HRESULT Create(IConnectionPoint *point, ULONG position, IEnumConnectionPoints **result);

    HRESULT QueryInterface(REFIID riid, void **object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Next(ULONG count, IConnectionPoint **points, ULONG *fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumConnectionPoints **copy) override;

private:
    ConnectionPointEnum(IConnectionPoint *point, ULONG position);
    ~ConnectionPointEnum();

    IConnectionPoint *point_;
    ULONG position_;
    ULONG refs_ = 1;
};

} // namespace halcyon::langsel
