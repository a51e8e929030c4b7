// Screen readers on Linux read the window through ATK (AT-SPI): the toolkit's controls are
// GTK widgets, whose accessible objects are completed here.
#include "ui/ScreenReader.h"

#include <atk/atk.h>
#include <gtk/gtk.h>

#include <wx/stattext.h>
#include <wx/window.h>

namespace {

AtkObject* AccessibleOf(wxWindow* window) {
    GtkWidget* widget = window->GetHandle();
    return widget != nullptr ? gtk_widget_get_accessible(widget) : nullptr;
}

// ATK gives no way to add an attribute to one object: the status line's accessible object
// becomes an instance of a subclass, made here at run time, that adds the live-region
// attributes to its class's own (and drops a relation, below). The subclass adds no data, so the
// object stays as it was.
AtkObjectClass* liveParentClass = nullptr;

AtkAttributeSet* AddAttribute(AtkAttributeSet* attributes, const char* name, const char* value) {
    auto* attribute = static_cast<AtkAttribute*>(g_malloc(sizeof(AtkAttribute)));
    attribute->name = g_strdup(name);
    attribute->value = g_strdup(value);
    return g_slist_append(attributes, attribute);
}

AtkAttributeSet* LiveAttributes(AtkObject* object) {
    AtkAttributeSet* attributes = liveParentClass->get_attributes != nullptr
                                      ? liveParentClass->get_attributes(object)
                                      : nullptr;
    // The names and values ARIA live regions have in ATK.
    attributes = AddAttribute(attributes, "live", "polite");
    attributes = AddAttribute(attributes, "container-live", "polite");
    attributes = AddAttribute(attributes, "atomic", "true");
    attributes = AddAttribute(attributes, "container-atomic", "true");
    return attributes;
}

// The toolkit makes a static text the mnemonic label of the control created after it, which
// for the status line is the ID field: the status line labels nothing.
AtkRelationSet* LiveRelations(AtkObject* object) {
    AtkRelationSet* relations = liveParentClass->ref_relation_set(object);
    while (AtkRelation* labelFor =
               atk_relation_set_get_relation_by_type(relations, ATK_RELATION_LABEL_FOR)) {
        atk_relation_set_remove(relations, labelFor);
    }
    return relations;
}

void LiveClassInit(gpointer klass, gpointer) {
    liveParentClass = ATK_OBJECT_CLASS(g_type_class_peek_parent(klass));
    ATK_OBJECT_CLASS(klass)->get_attributes = LiveAttributes;
    ATK_OBJECT_CLASS(klass)->ref_relation_set = LiveRelations;
}

// The live subclass of `parent`; 0 when it cannot be made. One parent type only: the
// status line is the program's one live region.
GType LiveType(GType parent) {
    static GType live = 0;
    static GType liveParent = 0;
    if (live != 0) {
        return liveParent == parent ? live : 0;
    }
    GTypeQuery query;
    g_type_query(parent, &query);
    if (query.type == 0) {
        return 0;
    }
    GTypeInfo info{};
    info.class_size = static_cast<guint16>(query.class_size);
    info.class_init = LiveClassInit;
    info.instance_size = static_cast<guint16>(query.instance_size);
    live = g_type_register_static(parent, "CorvaneLiveRegion", &info, GTypeFlags(0));
    liveParent = parent;
    return live;
}

}  // namespace

void NameAfterLabel(wxWindow* field, wxStaticText* label) {
    AtkObject* fieldObject = AccessibleOf(field);
    AtkObject* labelObject = AccessibleOf(label);
    if (fieldObject == nullptr || labelObject == nullptr) {
        return;
    }
    atk_object_set_name(fieldObject, label->GetLabel().utf8_str());
    atk_object_add_relationship(fieldObject, ATK_RELATION_LABELLED_BY, labelObject);
    atk_object_add_relationship(labelObject, ATK_RELATION_LABEL_FOR, fieldObject);
}

void MarkAsLiveRegion(wxStaticText* status) {
    AtkObject* object = AccessibleOf(status);
    if (object == nullptr) {
        return;
    }
    atk_object_set_role(object, ATK_ROLE_STATUSBAR);
    const GType live = LiveType(G_OBJECT_TYPE(object));
    if (live != 0) {
        // The object gives this reference back when it is freed; its old class, a static
        // type's, stays loaded in any case.
        reinterpret_cast<GTypeInstance*>(object)->g_class =
            static_cast<GTypeClass*>(g_type_class_ref(live));
    }
}

void AnnounceLiveRegion(wxStaticText* status) {
#if ATK_CHECK_VERSION(2, 50, 0)
    // For readers that do not watch live regions outside web pages.
    if (AtkObject* object = AccessibleOf(status)) {
        atk_object_announce(object, status->GetLabel().utf8_str());
    }
#else
    (void)status;
#endif
}
