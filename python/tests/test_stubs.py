"""The stubs (_zelp7x.pyi) and the compiled module hold the same names, both ways: every class,
method, property, constant and function, and each call's parameter names and defaults as
inspect.signature() gives them, which is what help() shows."""

import ast
import inspect
import pydoc
from pathlib import Path

import pytest

import zelp7x
from zelp7x import _zelp7x

STUB = ast.parse(Path(_zelp7x.__file__).with_name("_zelp7x.pyi").read_text())
# What every class has from Python or pybind11 rather than from the bindings.
INHERENT = {"__doc__", "__module__", "__dict__", "__weakref__"}


def public(names):
    return {n for n in names if not n.startswith("_")}


def decorators(node):
    return {d.id for d in getattr(node, "decorator_list", []) if isinstance(d, ast.Name)}


def stub_members(body):
    """Name -> [definitions] of a module's or class's body: functions (several when overloaded),
    annotated names and classes."""
    members = {}
    for node in body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            members.setdefault(node.name, []).append(node)
        elif isinstance(node, ast.AnnAssign):
            members.setdefault(node.target.id, []).append(node)
    return members


STUB_MODULE = stub_members(STUB.body)
STUB_CLASSES = {name: stub_members(nodes[0].body) for name, nodes in STUB_MODULE.items()
                if isinstance(nodes[0], ast.ClassDef)}


def runtime_members(cls):
    # pybind11's own __init__ for a class Python cannot make is a slot, not a binding.
    return {n for n, v in vars(cls).items()
            if n not in INHERENT and not n.startswith("_pybind11")
            and not (n == "__init__" and type(v).__name__ == "wrapper_descriptor")}


def stub_parameters(node):
    args = node.args
    defaults = [None] * (len(args.args) - len(args.defaults)) + list(args.defaults)
    value = lambda d: inspect.Parameter.empty if d is None else ast.literal_eval(d)
    return ([(a.arg, value(d), inspect.Parameter.POSITIONAL_OR_KEYWORD)
             for a, d in zip(args.args, defaults)] +
            [(a.arg, value(d), inspect.Parameter.KEYWORD_ONLY)
             for a, d in zip(args.kwonlyargs, args.kw_defaults)])


def runtime_parameters(function):
    return [(p.name, p.default, p.kind) for p in inspect.signature(function).parameters.values()]


def test_the_module_and_its_stubs_name_the_same_things():
    assert public(dir(_zelp7x)) == public(STUB_MODULE)
    for name, members in STUB_CLASSES.items():
        cls = getattr(_zelp7x, name)
        if issubclass(cls, Exception):
            # Error's attributes are its instances'.
            with pytest.raises(zelp7x.Error) as raised:
                zelp7x.Board("/dev/zelp7x-no-such-port")
            assert set(vars(raised.value)) == set(members), name
        else:
            assert runtime_members(cls) == set(members), name


@pytest.mark.parametrize("owner, name", [
    (cls, member) for cls, members in STUB_CLASSES.items() for member, nodes in members.items()
    if isinstance(nodes[0], ast.FunctionDef)] + [
    (None, name) for name, nodes in STUB_MODULE.items() if isinstance(nodes[0], ast.FunctionDef)])
def test_each_call_has_the_stubs_parameters(owner, name):
    nodes = (STUB_CLASSES[owner] if owner else STUB_MODULE)[name]
    runtime = getattr(getattr(_zelp7x, owner), name) if owner else getattr(_zelp7x, name)
    if "property" in decorators(nodes[0]):
        assert isinstance(vars(getattr(_zelp7x, owner))[name], property)
        return
    for node in nodes:  # each overload
        assert runtime_parameters(runtime) == stub_parameters(node)
    # help() shows them.
    assert f"{name}{inspect.signature(runtime)}" in pydoc.plain(pydoc.render_doc(runtime))


def test_the_package_exports_what_it_names():
    assert all(hasattr(zelp7x, n) for n in zelp7x.__all__)
    assert zelp7x.SAMPLE_RATE == 16000
