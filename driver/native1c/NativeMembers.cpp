#include "driver/native1c/NativeMembers.h"

#include "driver/automation/TesselDrv_TLB.h"

void BuildNativeMembers(TAddinItems& props, TAddinItems& methods) {
    props.Clear();
    methods.Clear();
    for (const TTesselMember& member : TesselMembers) {
        const bool isMethod = member.kind == TMemberKind::Method;
        TAddinItem& item = (isMethod ? methods : props)
                               .Add(member.dispId, std::string(member.name), std::string(member.name1C));
        item.Readable = !isMethod;
        item.Writable = member.HasSetter();
        item.VarType = TesselVarType(member.type);
    }
}
