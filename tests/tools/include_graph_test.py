#!/usr/bin/env python3
"""The include circle check (tools/include_graph.py) on small planted trees."""

import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                      "include_graph.py")
found_script = importlib.util.spec_from_file_location("include_graph", SCRIPT)
include_graph = importlib.util.module_from_spec(found_script)
found_script.loader.exec_module(include_graph)


class PlantedTree(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name

    def tearDown(self):
        self.folder.cleanup()

    def write(self, path, *includes, text=""):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            for included in includes:
                f.write('#include "%s"\n' % included)
            f.write(text)

    def check(self, known=frozenset()):
        return include_graph.check(self.root, known)

    def test_clean_tree_passes(self):
        self.write("platform/text.h")
        self.write("platform/text.cpp", "platform/text.h")
        self.write("engine/a.h", "platform/text.h")
        self.write("engine/a.cpp", "engine/a.h", "engine/rules/b.h")
        self.write("engine/rules/b.h", "platform/text.h")
        modules, edges = include_graph.read_graph(self.root)
        self.assertEqual(modules, {"platform/text", "engine/a", "engine/rules/b"})
        # x.cpp including x.h is no edge; the rest are read as written.
        self.assertEqual(set(edges), {("engine/a", "platform/text"), ("engine/a", "engine/rules/b"),
                                      ("engine/rules/b", "platform/text")})
        code, text = self.check()
        self.assertEqual(code, 0, text)
        self.assertIn("No new include circle among 3 modules", text)

    def test_header_circle_fails_naming_both_modules(self):
        self.write("engine/a.h", "engine/b.h")
        self.write("engine/b.h", "engine/a.h")
        code, text = self.check()
        self.assertEqual(code, 1, text)
        self.assertIn("circle of 2 modules: engine/a engine/b", text)
        self.assertIn("new edge: engine/a -> engine/b", text)
        self.assertIn("new edge: engine/b -> engine/a", text)

    def test_source_including_a_header_that_includes_back_fails(self):
        # The circle the registry had: x.cpp includes y.h, and y.h includes x.h.
        self.write("platform/registry.h")
        self.write("platform/registry.cpp", "platform/registry.h", "platform/registry_tree.h")
        self.write("platform/registry_tree.h", "platform/registry.h")
        self.write("platform/registry_tree.cpp", "platform/registry_tree.h")
        code, text = self.check()
        self.assertEqual(code, 1, text)
        self.assertIn("platform/registry -> platform/registry_tree  (platform/registry.cpp)", text)

    def test_longer_circle_across_subfolders_and_both_folders(self):
        self.write("engine/finders/x.h", "engine/rules/y.h")
        self.write("engine/rules/y.cpp", "platform/win32/z.h")
        self.write("platform/win32/z.h", "engine/finders/x.h")
        self.write("engine/rules/other.h", "engine/finders/x.h")
        code, text = self.check()
        self.assertEqual(code, 1, text)
        self.assertIn("circle of 3 modules: engine/finders/x engine/rules/y platform/win32/z", text)
        self.assertNotIn("engine/rules/other ", text)

    def test_same_stem_in_two_folders_is_two_modules(self):
        self.write("engine/rules/names.h", "engine/finders/names.h")
        self.write("engine/finders/names.h")
        self.write("engine/finders/names.cpp", "engine/finders/names.h")
        code, text = self.check()
        self.assertEqual(code, 0, text)

    def test_commented_angle_and_outside_includes_are_no_edges(self):
        self.write("engine/a.h", "app/window.h", text='// #include "engine/b.h"\n#include <engine/b.h>\n')
        self.write("engine/b.h", "engine/a.h")
        self.write("app/window.h", "engine/b.h")
        _, edges = include_graph.read_graph(self.root)
        self.assertEqual(set(edges), {("engine/b", "engine/a")})
        code, text = self.check()
        self.assertEqual(code, 0, text)

    def test_known_circle_passes_and_is_printed_as_still_to_remove(self):
        self.write("engine/a.h", "engine/b.h")
        self.write("engine/b.cpp", "engine/a.h")
        code, text = self.check({("engine/a", "engine/b"), ("engine/b", "engine/a")})
        self.assertEqual(code, 0, text)
        self.assertIn("still to remove", text)
        self.assertIn("circle of 2 modules: engine/a engine/b", text)

    def test_new_edge_inside_a_known_circle_fails(self):
        self.write("engine/a.h", "engine/b.h")
        self.write("engine/b.h", "engine/a.h", "engine/c.h")
        self.write("engine/c.h", "engine/a.h")
        code, text = self.check({("engine/a", "engine/b"), ("engine/b", "engine/a")})
        self.assertEqual(code, 1, text)
        self.assertIn("new edge: engine/b -> engine/c", text)
        self.assertIn("new edge: engine/c -> engine/a", text)
        self.assertNotIn("new edge: engine/a -> engine/b", text)

    def test_other_circle_fails_beside_a_known_one(self):
        self.write("engine/a.h", "engine/b.h")
        self.write("engine/b.h", "engine/a.h")
        self.write("platform/p.h", "platform/q.h")
        self.write("platform/q.cpp", "platform/p.h")
        code, text = self.check({("engine/a", "engine/b"), ("engine/b", "engine/a")})
        self.assertEqual(code, 1, text)
        self.assertIn("still to remove", text)
        self.assertIn("circle of 2 modules: platform/p platform/q", text)

    def test_known_edge_closing_no_circle_is_printed_without_failing(self):
        self.write("engine/a.cpp", "engine/b.h")
        self.write("engine/b.h")
        code, text = self.check({("engine/a", "engine/b"), ("engine/b", "engine/a")})
        self.assertEqual(code, 0, text)
        self.assertIn("closing no circle now", text)
        self.assertIn("engine/a -> engine/b", text)
        self.assertIn("engine/b -> engine/a", text)

    def test_tree_without_modules_fails(self):
        self.write("app/main.cpp")
        code, text = self.check()
        self.assertEqual(code, 1, text)
        self.assertIn("no modules found", text)

    def test_command_line_fails_and_report_mode_exits_zero(self):
        self.write("engine/a.h", "engine/b.h")
        self.write("engine/b.h", "engine/a.h")
        run = [sys.executable, SCRIPT, "--root", self.root]
        failing = subprocess.run(run, capture_output=True, text=True)
        self.assertEqual(failing.returncode, 1, failing.stdout)
        report = subprocess.run(run + ["--report"], capture_output=True, text=True)
        self.assertEqual(report.returncode, 0, report.stdout)
        self.assertIn("1 circles", report.stdout)
        self.assertIn("circle of 2 modules: engine/a engine/b", report.stdout)


class KnownList(unittest.TestCase):
    def test_known_list_holds_only_engine_edges(self):
        # A platform circle is removed, never waived.
        for includer, included in include_graph.KNOWN_TODAY:
            self.assertTrue(includer.startswith("engine/"), includer)
            self.assertTrue(included.startswith("engine/"), included)


if __name__ == "__main__":
    unittest.main()
