<%
' Takes the application's lock and never returns on its own: the probe's
' write to Application must not wait for it once the page is stopped.
Application.Lock
Do : Loop
%>
