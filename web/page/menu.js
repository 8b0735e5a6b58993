// The nation list's context menu, drawn as the commands give it. `host`
// lends it the page's run(), and idle(): whether the player may act (no
// command runs, the editor has not ended).
//
// The page's own rather than the browser's popover: a popover shows and
// hides a box and closes it on a click beside it, a few lines here, and
// gives nothing of what most of this is, a menu's keys (arrows, Home and
// End, a submenu by Right and back by Left or Escape, access letters),
// nor a place at the pointer or under the current row. Its menus are in
// the page's application, as its window is (applicationOf).
import { applicationOf, element, withAccessKey } from "./dom.js";

export function tickMenu(host) {

  // The entries as the commands give them, each time it opens; a chosen
  // entry goes back to them by its id.
  const menu = {
    entries: [],
    menus: [], // the open menus, the top one first
    back: null,

    entry(depth, label, enabled, id) {
      let level = this.entries;
      for (let d = 0; d < depth; ++d) level = level[level.length - 1].submenu;
      level.push({ label, enabled, id, submenu: id === 0 ? [] : null });
    },

    async open(x, y, back) {
      if (!host.idle()) return;
      this.close(false);
      this.entries = [];
      await host.run("web_tick_menu");
      this.back = back;
      this.show(this.entries, [], x, y);
    },

    show(entries, path, x, y) {
      const shown = element("div", { class: "menu", role: "menu", tabindex: "-1" });
      entries.forEach((entry, index) => {
        const label = withAccessKey(entry.label);
        const item = element(
          "div",
          {
            class: "item",
            role: "menuitem",
            tabindex: "-1",
            "aria-disabled": entry.enabled ? null : "true",
            "aria-haspopup": entry.submenu ? "menu" : null,
            "aria-expanded": entry.submenu ? "false" : null,
            "data-key": label.key,
          },
          ...label.nodes
        );
        item.addEventListener("click", () => this.activate(entry, [...path, index], item));
        shown.append(item);
      });
      shown.addEventListener("keydown", (event) => this.onKey(event, entries, path));
      applicationOf(document).append(shown);
      const area = shown.getBoundingClientRect();
      shown.style.left = `${Math.max(0, Math.min(x, window.innerWidth - area.width))}px`;
      shown.style.top = `${Math.max(0, Math.min(y, window.innerHeight - area.height))}px`;
      this.menus.push(shown);
      const first = shown.querySelector(".item");
      (first || shown).focus();
    },

    activate(entry, path, item) {
      if (!entry.enabled) return;
      if (entry.submenu) {
        while (this.menus.length > path.length) this.menus.pop().remove();
        item.setAttribute("aria-expanded", "true");
        const area = item.getBoundingClientRect();
        this.show(entry.submenu, path, area.right, area.top);
        return;
      }
      this.close(true);
      host.run("web_choose_tick", ["number"], [entry.id]);
    },

    onKey(event, entries, path) {
      const shown = this.menus[this.menus.length - 1];
      const items = [...shown.querySelectorAll(".item")];
      const at = items.indexOf(document.activeElement);
      const step = (by) => items[(at + by + items.length) % items.length].focus();
      event.stopPropagation();
      if (event.key === "ArrowDown") step(1);
      else if (event.key === "ArrowUp") step(at < 0 ? 0 : -1);
      else if (event.key === "Home") items[0].focus();
      else if (event.key === "End") items[items.length - 1].focus();
      else if (event.key === "Escape" || (event.key === "ArrowLeft" && this.menus.length > 1)) {
        if (this.menus.length > 1) {
          this.menus.pop().remove();
          const parent = this.menus[this.menus.length - 1].querySelector('[aria-expanded="true"]');
          parent.setAttribute("aria-expanded", "false");
          parent.focus();
        } else {
          this.close(true);
        }
      } else if (event.key === "Tab") {
        this.close(true);
      } else if (["Enter", " ", "ArrowRight"].includes(event.key) && at >= 0) {
        if (event.key !== "ArrowRight" || entries[at].submenu) this.activate(entries[at], [...path, at], items[at]);
      } else if (event.key.length === 1) {
        const index = items.findIndex((item) => item.dataset.key === event.key.toUpperCase());
        if (index >= 0) {
          items[index].focus();
          this.activate(entries[index], [...path, index], items[index]);
        }
      } else {
        return;
      }
      event.preventDefault();
    },

    close(giveBack) {
      if (this.menus.length === 0) return;
      while (this.menus.length > 0) this.menus.pop().remove();
      if (giveBack && this.back) this.back();
    },
  };

  document.addEventListener("pointerdown", (event) => {
    if (!menu.menus.some((shown) => shown.contains(event.target))) menu.close(false);
  });

  return menu;
}
