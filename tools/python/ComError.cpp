#include "tools/python/ComError.h"

#include <pybind11/eval.h>

#include <cstdio>

namespace py = pybind11;

namespace tessel::python {

namespace {

struct KnownResult {
    HRESULT code;
    const char* name;
    const char* text;
};

constexpr KnownResult kKnownResults[] = {
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "no such interface"},
    {E_POINTER, "E_POINTER", "invalid pointer"},
    {E_FAIL, "E_FAIL", "unspecified failure"},
    {E_UNEXPECTED, "E_UNEXPECTED", "unexpected failure"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_INVALIDARG, "E_INVALIDARG", "invalid argument"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", "the registration cannot be read"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "class not registered"},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING", "invalid class string"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", "the server library cannot be loaded"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "the server library has no class objects"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE", "the server does not offer the class"},
    {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND", "member not found"},
    {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND", "parameter not found"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH", "type mismatch"},
    {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME", "unknown name"},
    {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS", "no named arguments"},
    {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE", "bad variable type"},
    {DISP_E_EXCEPTION, "DISP_E_EXCEPTION", "exception occurred"},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW", "out of present range"},
    {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT", "invalid number of parameters"},
    {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL", "parameter not optional"},
    {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION", "no such connection"},
    {CONNECT_E_ADVISELIMIT, "CONNECT_E_ADVISELIMIT", "the connection point takes no more sinks"},
    {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT", "the sink cannot be connected"},
};

// Python code, so that the classes are ordinary exception classes with attributes and pickling.
constexpr char kClasses[] = R"py(
class ComError(Exception):
    """A COM call failed.

    code: the HRESULT, a signed 32-bit number as COM gives it (tessel.DISP_E_UNKNOWNNAME and the like);
    text: what failed and why; argument: the index of the argument at fault, in the caller's order
    (0 for the value of a property being set), or None.
    Driver operations that fail do not raise this: their result code is the method's value and is kept
    in ResultCode and ResultDescription.
    """

    def __init__(self, code, text, argument=None):
        super().__init__(code, text, argument)
        self.code = code
        self.text = text
        self.argument = argument

    def __str__(self):
        return self.text if self.argument is None else f"{self.text}, argument {self.argument}"


class MemberNotFoundError(ComError, AttributeError):
    """The object has no member of that name (DISP_E_UNKNOWNNAME)."""
)py";

// Kept for the life of the process: the classes must outlive every translation, and a static py::object
// would be released after the interpreter has gone.
py::handle g_comError;
py::handle g_memberNotFound;

}  // namespace

ComFailure::ComFailure(HRESULT code, const std::string& text, std::optional<int> argument)
    : std::runtime_error(text), code_(code), argument_(argument) {}

std::string ResultText(HRESULT code) {
    for (const KnownResult& known : kKnownResults)
        if (known.code == code) return std::string(known.name) + ": " + known.text;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08Xh", static_cast<unsigned>(code));
    return hex;
}

void RegisterComError(py::module_& module) {
    py::dict scope;
    scope["__name__"] = module.attr("__name__");
    py::exec(kClasses, scope);
    g_comError = py::object(scope["ComError"]).release();
    g_memberNotFound = py::object(scope["MemberNotFoundError"]).release();
    module.attr("ComError") = g_comError;
    module.attr("MemberNotFoundError") = g_memberNotFound;
    for (const KnownResult& known : kKnownResults) module.attr(known.name) = known.code;

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const ComFailure& failure) {
            const py::handle type = failure.Code() == DISP_E_UNKNOWNNAME ? g_memberNotFound : g_comError;
            const py::object argument =
                failure.Argument() ? py::object(py::int_(*failure.Argument())) : py::object(py::none());
            const py::object error = type(failure.Code(), failure.what(), argument);
            PyErr_SetObject(type.ptr(), error.ptr());
        }
    });
}

}  // namespace tessel::python
