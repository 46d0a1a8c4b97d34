/* The floor of start-up with GTK 3, for the player benchmark: one window
 * with a menu bar (Exit, About) and a drawing area that paints a picture
 * with cairo. The picture comes as raw pixels (4 bytes each, blue, green,
 * red and one unused, rows from the top), so nothing is decoded; OpenGL is
 * off, as in the player.
 *
 * Usage: gifplay_gtk_floor PIXELS WIDTH HEIGHT */
#include <gtk/gtk.h>
#include <stdlib.h>

static cairo_surface_t* picture;

static gboolean draw(GtkWidget* area, cairo_t* cr, gpointer unused) {
  (void)area;
  (void)unused;
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_paint(cr);
  return TRUE;
}

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  g_setenv("GDK_GL", "disable", FALSE);
  gtk_init(&argc, &argv);
  gchar* pixels = NULL;
  gsize size = 0;
  int width = atoi(argv[2]);
  int height = atoi(argv[3]);
  if (!g_file_get_contents(argv[1], &pixels, &size, NULL) || size < (gsize)width * height * 4)
    return 1;
  picture = cairo_image_surface_create_for_data((unsigned char*)pixels, CAIRO_FORMAT_RGB24, width,
                                                height, width * 4);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "floor");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* bar = gtk_menu_bar_new();
  GtkWidget* exit = gtk_menu_item_new_with_mnemonic("E_xit");
  g_signal_connect(exit, "activate", G_CALLBACK(gtk_main_quit), NULL);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), exit);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), gtk_menu_item_new_with_mnemonic("_About"));
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, width, height);
  g_signal_connect(area, "draw", G_CALLBACK(draw), NULL);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
