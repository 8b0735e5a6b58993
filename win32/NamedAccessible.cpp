#include "NamedAccessible.h"

NamedAccessible::NamedAccessible(IAccessible* standard, std::wstring name)
    : standard_(standard)
    , name_(std::move(name))
{
}

NamedAccessible::~NamedAccessible()
{
    standard_->Release();
}

LRESULT NamedAccessible::Answer(HWND control, WPARAM wParam, LPARAM lParam, const std::wstring& name)
{
    if (static_cast<LONG>(lParam) != OBJID_CLIENT)
        return 0;
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
        return 0;
    auto* named = new NamedAccessible(standard, name);
    const LRESULT answer = LresultFromObject(IID_IAccessible, wParam, named);
    named->Release();
    return answer;
}

HRESULT NamedAccessible::QueryInterface(REFIID id, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (id == IID_IUnknown || id == IID_IDispatch || id == IID_IAccessible) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    // What else the system's reading offers (its enumeration of children,
    // its window), it answers itself.
    return standard_->QueryInterface(id, object);
}

ULONG NamedAccessible::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG NamedAccessible::Release()
{
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT NamedAccessible::get_accName(VARIANT child, BSTR* name)
{
    if (name == nullptr)
        return E_POINTER;
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF)
        return standard_->get_accName(child, name);
    *name = SysAllocString(name_.c_str());
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The rest is the system's own reading.
HRESULT NamedAccessible::GetTypeInfoCount(UINT* count)
{
    return standard_->GetTypeInfoCount(count);
}
HRESULT NamedAccessible::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info)
{
    return standard_->GetTypeInfo(index, locale, info);
}
HRESULT NamedAccessible::GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale, DISPID* ids)
{
    return standard_->GetIDsOfNames(id, names, count, locale, ids);
}
HRESULT NamedAccessible::Invoke(DISPID member, REFIID id, LCID locale, WORD flags, DISPPARAMS* parameters,
                                VARIANT* result, EXCEPINFO* exception, UINT* argument)
{
    return standard_->Invoke(member, id, locale, flags, parameters, result, exception, argument);
}
HRESULT NamedAccessible::get_accParent(IDispatch** parent)
{
    return standard_->get_accParent(parent);
}
HRESULT NamedAccessible::get_accChildCount(LONG* count)
{
    return standard_->get_accChildCount(count);
}
HRESULT NamedAccessible::get_accChild(VARIANT child, IDispatch** dispatch)
{
    return standard_->get_accChild(child, dispatch);
}
HRESULT NamedAccessible::get_accValue(VARIANT child, BSTR* value)
{
    return standard_->get_accValue(child, value);
}
HRESULT NamedAccessible::get_accDescription(VARIANT child, BSTR* description)
{
    return standard_->get_accDescription(child, description);
}
HRESULT NamedAccessible::get_accRole(VARIANT child, VARIANT* role)
{
    return standard_->get_accRole(child, role);
}
HRESULT NamedAccessible::get_accState(VARIANT child, VARIANT* state)
{
    return standard_->get_accState(child, state);
}
HRESULT NamedAccessible::get_accHelp(VARIANT child, BSTR* help)
{
    return standard_->get_accHelp(child, help);
}
HRESULT NamedAccessible::get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic)
{
    return standard_->get_accHelpTopic(file, child, topic);
}
HRESULT NamedAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut)
{
    return standard_->get_accKeyboardShortcut(child, shortcut);
}
HRESULT NamedAccessible::get_accFocus(VARIANT* child)
{
    return standard_->get_accFocus(child);
}
HRESULT NamedAccessible::get_accSelection(VARIANT* children)
{
    return standard_->get_accSelection(children);
}
HRESULT NamedAccessible::get_accDefaultAction(VARIANT child, BSTR* action)
{
    return standard_->get_accDefaultAction(child, action);
}
HRESULT NamedAccessible::accSelect(LONG flags, VARIANT child)
{
    return standard_->accSelect(flags, child);
}
HRESULT NamedAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child)
{
    return standard_->accLocation(left, top, width, height, child);
}
HRESULT NamedAccessible::accNavigate(LONG direction, VARIANT start, VARIANT* end)
{
    return standard_->accNavigate(direction, start, end);
}
HRESULT NamedAccessible::accHitTest(LONG left, LONG top, VARIANT* child)
{
    return standard_->accHitTest(left, top, child);
}
HRESULT NamedAccessible::accDoDefaultAction(VARIANT child)
{
    return standard_->accDoDefaultAction(child);
}
HRESULT NamedAccessible::put_accName(VARIANT child, BSTR name)
{
    return standard_->put_accName(child, name);
}
HRESULT NamedAccessible::put_accValue(VARIANT child, BSTR value)
{
    return standard_->put_accValue(child, value);
}
