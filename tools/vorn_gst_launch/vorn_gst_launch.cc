// vorn_gst_launch: stand-in for a GStreamer application that hosts the
// vorn.lv2 plug-ins through GStreamer's LV2 bridge. It runs a pipeline given
// in gst-launch-1.0's syntax to its end, then prints the output controls of
// each LV2 element in it, which gst-launch-1.0 does not show: the bridge
// makes them read-only properties, set while the element processes.
//
//   LV2_PATH=build/default/lv2 vorn_gst_launch filesrc location=in.wav
//       ! wavparse ! urn-vorn-lv2-sound-meter-stereo name=meter ! fakesink
//   meter.power-db-0=-9.03
//   meter.power-db-1=-9.03
//   ...
//
// One "element.property=value" line per output control, elements from the
// sink upstream. Exit status 0 at the end
// of the stream, 1 when the pipeline cannot be built or fails (the error on
// standard error), 2 when no pipeline is given.

#include <gst/gst.h>

#include <cstdio>

namespace {

// Whether `element` comes from GStreamer's LV2 bridge (its "lv2" plug-in).
bool IsLv2Element(GstElement* element) {
  GstElementFactory* factory = gst_element_get_factory(element);
  if (factory == nullptr) return false;
  const gchar* plugin =
      gst_plugin_feature_get_plugin_name(GST_PLUGIN_FEATURE(factory));
  return plugin != nullptr && g_strcmp0(plugin, "lv2") == 0;
}

// Prints the element's read-only properties of its own type: the LV2 output
// ports (the bridge makes input ports writable ones).
void PrintOutputControls(GstElement* element) {
  guint count = 0;
  GParamSpec** properties =
      g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
  for (guint i = 0; i < count; ++i) {
    const GParamSpec* property = properties[i];
    if (property->owner_type != G_OBJECT_TYPE(element) ||
        (property->flags & G_PARAM_READABLE) == 0 ||
        (property->flags & G_PARAM_WRITABLE) != 0) {
      continue;
    }
    GValue value = G_VALUE_INIT;
    g_value_init(&value, property->value_type);
    g_object_get_property(G_OBJECT(element), property->name, &value);
    gchar* text = g_strdup_value_contents(&value);
    gchar* name = gst_element_get_name(element);
    std::printf("%s.%s=%s\n", name, property->name, text);
    g_free(name);
    g_free(text);
    g_value_unset(&value);
  }
  g_free(properties);
}

void PrintEachLv2Element(const GValue* item, gpointer /*unused*/) {
  GstElement* element = GST_ELEMENT(g_value_get_object(item));
  if (IsLv2Element(element)) PrintOutputControls(element);
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: vorn_gst_launch PIPELINE-DESCRIPTION\n");
    return 2;
  }
  GError* error = nullptr;
  GstElement* pipeline =
      gst_parse_launchv(const_cast<const gchar**>(argv + 1), &error);
  if (pipeline == nullptr || error != nullptr) {
    std::fprintf(stderr, "vorn_gst_launch: %s\n",
                 error != nullptr ? error->message : "no pipeline");
    if (error != nullptr) g_error_free(error);
    if (pipeline != nullptr) gst_object_unref(pipeline);
    return 1;
  }
  // A pipeline that fails to start has posted its error already.
  const bool started = gst_element_set_state(pipeline, GST_STATE_PLAYING) !=
                       GST_STATE_CHANGE_FAILURE;
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* end = gst_bus_timed_pop_filtered(
      bus, started ? GST_CLOCK_TIME_NONE : 0,
      static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const int status =
      end != nullptr && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS ? 0 : 1;
  if (end != nullptr && status != 0) {
    gst_message_parse_error(end, &error, nullptr);
    std::fprintf(stderr, "vorn_gst_launch: %s\n", error->message);
    g_error_free(error);
  } else if (status != 0) {
    std::fprintf(stderr, "vorn_gst_launch: the pipeline does not start\n");
  }
  if (end != nullptr) gst_message_unref(end);
  gst_object_unref(bus);
  // The controls hold what the elements set while processing: read them
  // before the pipeline stops, which may reset the elements.
  if (status == 0 && GST_IS_BIN(pipeline)) {
    GstIterator* elements = gst_bin_iterate_sorted(GST_BIN(pipeline));
    gst_iterator_foreach(elements, PrintEachLv2Element, nullptr);
    gst_iterator_free(elements);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return status;
}
