#!/usr/bin/python3
"""Renders a WMF or EMF with LibreOffice at given pixel sizes: the graphic object alone, stretched
to W x H, as PNG. Usage: lo_render.py FILE OUT_PREFIX WxH [WxH ...]
Needs libreoffice-draw and python3-uno (for making reference pictures only)."""
import os, subprocess, sys, time
import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def main():
    src, prefix, sizes = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    office = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore",
                               "--accept=pipe,name=dwref;urp;"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(100):
            try:
                ctx = resolver.resolve("uno:pipe,name=dwref;urp;StarOffice.ComponentContext")
                break
            except Exception:
                time.sleep(0.2)
        smgr = ctx.ServiceManager
        desktop = smgr.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(src), "_blank", 0,
                                           (prop("Hidden", True),))
        shape = doc.DrawPages.getByIndex(0).getByIndex(0)
        for size in sizes:
            w, h = (int(v) for v in size.split("x"))
            exporter = smgr.createInstanceWithContext(
                "com.sun.star.drawing.GraphicExportFilter", ctx)
            exporter.setSourceDocument(shape)
            data = uno.Any("[]com.sun.star.beans.PropertyValue",
                           (prop("PixelWidth", w), prop("PixelHeight", h)))
            out = os.path.abspath(f"{prefix}_{w}x{h}.png")
            exporter.filter((prop("URL", uno.systemPathToFileUrl(out)),
                             prop("MediaType", "image/png"), prop("FilterData", data)))
            print(out)
        doc.close(True)
    finally:
        try:
            desktop.terminate()
        except Exception:
            pass
        office.wait(timeout=30)


main()
